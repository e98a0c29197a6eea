/* The codec's own floor: one level-N deflate stream over the bytes of the
 * files named on standard input (one path per line), in that order, with the
 * compressed size on standard output. Nothing is written to disk. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

int main(int argc, char **argv)
{
    int level = argc > 1 ? atoi(argv[1]) : 7;
    static unsigned char in[1 << 16], out[1 << 16];
    char path[4096];
    unsigned long long total = 0;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit(&z, level) != Z_OK)
        return 1;
    while (fgets(path, sizeof path, stdin)) {
        path[strcspn(path, "\n")] = 0;
        FILE *f = fopen(path, "rb");
        if (!f)
            continue;
        size_t n;
        while ((n = fread(in, 1, sizeof in, f)) > 0) {
            z.next_in = in;
            z.avail_in = (uInt)n;
            do {
                z.next_out = out;
                z.avail_out = sizeof out;
                deflate(&z, Z_NO_FLUSH);
                total += sizeof out - z.avail_out;
            } while (z.avail_out == 0);
        }
        fclose(f);
    }
    int rc;
    do {
        z.next_out = out;
        z.avail_out = sizeof out;
        rc = deflate(&z, Z_FINISH);
        total += sizeof out - z.avail_out;
    } while (rc == Z_OK);
    deflateEnd(&z);
    printf("%llu\n", total);
    return rc == Z_STREAM_END ? 0 : 1;
}
