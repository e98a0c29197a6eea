#ifndef CLOCK_H
#define CLOCK_H
static inline void clock_init(void) { /* reset clock is the crystal */ }
#endif
