#ifndef BOARD_H
#define BOARD_H
#define LED_GREEN 19
#define LED_RED   22
#ifndef BLINK_PERIOD_MS
#define BLINK_PERIOD_MS 500
#endif
void board_init(void);
void board_led_toggle(unsigned led);
#endif
