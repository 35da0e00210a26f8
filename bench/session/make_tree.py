#!/usr/bin/python3
"""Writes a patch-like tree for the unpack benchmark: thousands of small and middling files
in nested folders and a few of several MiB, with a mix of text, structured binary and
incompressible bytes. The same arguments always give the same tree."""
import os
import random
import struct
import sys

root = sys.argv[1]
rng = random.Random(48249)

words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 10)))
         for _ in range(3000)]
text = ' '.join(rng.choice(words) for _ in range(400000)).encode()[:2 << 20]
mesh = b''.join(struct.pack('<3f', i * 0.01, rng.random(), (i % 977) * 0.5)
                for i in range(90000))[:1 << 20]
noise = rng.randbytes(1 << 20)
pool = text + mesh + noise


def content(size):
    parts, left = [], size
    while left > 0:
        piece = min(left, rng.randint(4096, 65536))
        start = rng.randrange(0, len(pool) - piece)
        parts.append(pool[start:start + piece])
        left -= piece
    return b''.join(parts)


folders = [os.path.join(root, 'data', f'route{r:02d}', sub)
           for r in range(12) for sub in ('tiles', 'scenery', 'sounds', 'scripts', 'textures')]
for folder in folders:
    os.makedirs(folder, exist_ok=True)
for i in range(3000):
    size = int(2 ** rng.uniform(8, 17.5))
    with open(os.path.join(rng.choice(folders), f'asset{i:05d}.bin'), 'wb') as out:
        out.write(content(size))
for i in range(24):
    with open(os.path.join(root, 'data', f'pack{i:02d}.pak'), 'wb') as out:
        out.write(content(rng.randint(2 << 20, 8 << 20)))
