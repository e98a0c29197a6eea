#include "board.h"
#include "config/clock.h"

#define GPIO_BASE   0x10012000u
#define GPIO_OUTPUT (*(volatile unsigned *)(GPIO_BASE + 0x0C))
#define GPIO_ENABLE (*(volatile unsigned *)(GPIO_BASE + 0x08))

void board_init(void)
{
  clock_init();
  GPIO_ENABLE |= (1u << LED_GREEN) | (1u << LED_RED);
}

void board_led_toggle(unsigned led)
{
  GPIO_OUTPUT ^= 1u << led;
}
