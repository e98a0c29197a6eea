#include "board.h"
#include "delay.h"
#include "ringbuf.h"

static struct ringbuf events;

int main(void)
{
  board_init();
  ringbuf_init(&events);
  for (;;) {
    board_led_toggle(LED_GREEN);
    ringbuf_put(&events, 1);
    delay_ms(BLINK_PERIOD_MS);
  }
}
