# Reset entry for RV32 cores: stack, gp, .data copy, .bss clear, main.
  .section .init, "ax"
  .globl _start
_start:
  .option push
  .option norelax
  la gp, __global_pointer$
  .option pop
  la sp, __stack_end__
  la t0, trap_entry
  csrw mtvec, t0

  la a0, __data_load_start__
  la a1, __data_start__
  la a2, __data_end__
1:
  bgeu a1, a2, 2f
  lw t0, 0(a0)
  sw t0, 0(a1)
  addi a0, a0, 4
  addi a1, a1, 4
  j 1b
2:
  la a0, __bss_start__
  la a1, __bss_end__
3:
  bgeu a0, a1, 4f
  sw zero, 0(a0)
  addi a0, a0, 4
  j 3b
4:
  call main
5:
  wfi
  j 5b
