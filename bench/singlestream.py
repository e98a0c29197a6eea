#!/usr/bin/env python3
"""Rewrites a package with its zlib body as one stream, as older duriv
versions and other writers made it: the reference for the size of segmented
bodies and for updates that must compress everything again.

    bench/singlestream.py IN OUT LEVEL
"""
import sys
import zlib

# The headers in front of a zlib body: the version-1 wrapper (magic, version,
# size estimate) and version 2 (magic, format word).
HEADERS = {b"\x7a\xf4\x31\xb2": 12, b"\xb1\xc6\xf5\x71": 8}


def main():
    source, target, level = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with open(source, "rb") as f:
        data = f.read()
    header = HEADERS.get(data[:4])
    if header is None:
        sys.exit(f"{source}: not a zlib package")
    body = zlib.decompress(data[header:])
    with open(target, "wb") as f:
        f.write(data[:header])
        f.write(zlib.compress(body, level))


if __name__ == "__main__":
    main()
