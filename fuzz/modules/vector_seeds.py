#!/usr/bin/env python3
"""Writes the octets of every block of one type in a vectors file as a fuzzer seed.

Usage: vector_seeds.py VECTORS TYPE DIR. A block is a line "= TYPE N" followed by a line of
hexadecimal octets; block N of TYPE becomes the file DIR/N.
"""
import os
import sys


def main(vectors, type_name, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    count = 0
    with open(vectors) as lines:
        for line in lines:
            head = line.split()
            if len(head) == 3 and head[0] == "=" and head[1] == type_name:
                octets = bytes.fromhex(next(lines).strip())
                with open(os.path.join(out_dir, head[2]), "wb") as seed:
                    seed.write(octets)
                count += 1
    if count == 0:
        sys.exit(f"no {type_name} blocks in {vectors}")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
