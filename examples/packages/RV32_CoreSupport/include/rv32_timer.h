/* Machine timer (mtime/mtimecmp) driver. */
#ifndef RV32_TIMER_H
#define RV32_TIMER_H

#include <stdint.h>

void rv32_timer_init(uint32_t ticks_per_interrupt);
uint64_t rv32_timer_now(void);
void rv32_timer_handler(void);

#endif
