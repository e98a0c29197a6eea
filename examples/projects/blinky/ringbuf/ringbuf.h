#ifndef RINGBUF_H
#define RINGBUF_H
#define RINGBUF_SIZE 16
struct ringbuf { unsigned char data[RINGBUF_SIZE]; unsigned head, tail; };
void ringbuf_init(struct ringbuf *rb);
int ringbuf_put(struct ringbuf *rb, unsigned char byte);
int ringbuf_get(struct ringbuf *rb, unsigned char *byte);
#endif
