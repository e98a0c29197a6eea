#include "delay.h"

/* Busy wait calibrated for the core clock; good enough for LEDs. */
void delay_ms(unsigned ms)
{
  for (volatile unsigned long i = 0; i < ms * (CORE_CLOCK_HZ / 4000u); i++)
    ;
}
