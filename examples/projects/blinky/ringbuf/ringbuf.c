#include "ringbuf.h"

void ringbuf_init(struct ringbuf *rb) { rb->head = rb->tail = 0; }

int ringbuf_put(struct ringbuf *rb, unsigned char byte)
{
  unsigned next = (rb->head + 1) % RINGBUF_SIZE;
  if (next == rb->tail)
    return 0;
  rb->data[rb->head] = byte;
  rb->head = next;
  return 1;
}

int ringbuf_get(struct ringbuf *rb, unsigned char *byte)
{
  if (rb->head == rb->tail)
    return 0;
  *byte = rb->data[rb->tail];
  rb->tail = (rb->tail + 1) % RINGBUF_SIZE;
  return 1;
}
