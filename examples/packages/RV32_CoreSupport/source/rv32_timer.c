#include "rv32_csr.h"
#include "rv32_timer.h"

#define MTIME_BASE     0x0200BFF8u
#define MTIMECMP_BASE  0x02004000u

static volatile uint32_t *const mtime = (volatile uint32_t *)MTIME_BASE;
static volatile uint32_t *const mtimecmp = (volatile uint32_t *)MTIMECMP_BASE;
static uint32_t interval;

uint64_t rv32_timer_now(void)
{
  uint32_t hi, lo;
  do {
    hi = mtime[1];
    lo = mtime[0];
  } while (hi != mtime[1]);
  return ((uint64_t)hi << 32) | lo;
}

static void schedule(uint64_t when)
{
  mtimecmp[1] = 0xFFFFFFFFu;
  mtimecmp[0] = (uint32_t)when;
  mtimecmp[1] = (uint32_t)(when >> 32);
}

void rv32_timer_init(uint32_t ticks_per_interrupt)
{
  interval = ticks_per_interrupt;
  schedule(rv32_timer_now() + interval);
  csr_set(mie, MIE_MTIE);
}

void rv32_timer_handler(void)
{
  schedule(rv32_timer_now() + interval);
}
