#ifndef DELAY_H
#define DELAY_H
#ifndef CORE_CLOCK_HZ
#define CORE_CLOCK_HZ 16000000u
#endif
void delay_ms(unsigned ms);
#endif
