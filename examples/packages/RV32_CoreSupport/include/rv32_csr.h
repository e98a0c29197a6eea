/* Machine-mode control and status register access for RV32 cores. */
#ifndef RV32_CSR_H
#define RV32_CSR_H

#include <stdint.h>

#define CSR_MSTATUS  0x300
#define CSR_MIE      0x304
#define CSR_MTVEC    0x305
#define CSR_MEPC     0x341
#define CSR_MCAUSE   0x342
#define CSR_MIP      0x344

#define MSTATUS_MIE  (1u << 3)
#define MIE_MTIE     (1u << 7)
#define MIE_MEIE     (1u << 11)

#define csr_read(csr)                                          \
  ({ uint32_t v_; __asm__ volatile("csrr %0, " #csr : "=r"(v_)); v_; })
#define csr_write(csr, val)                                    \
  __asm__ volatile("csrw " #csr ", %0" : : "rK"(val))
#define csr_set(csr, bits)                                     \
  __asm__ volatile("csrs " #csr ", %0" : : "rK"(bits))
#define csr_clear(csr, bits)                                   \
  __asm__ volatile("csrc " #csr ", %0" : : "rK"(bits))

static inline void rv32_enable_interrupts(void) { csr_set(mstatus, MSTATUS_MIE); }
static inline void rv32_disable_interrupts(void) { csr_clear(mstatus, MSTATUS_MIE); }

#endif
