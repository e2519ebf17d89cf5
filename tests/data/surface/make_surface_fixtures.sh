#!/bin/sh
# Makes mips.dds: an 8 x 8 uncompressed 32-bit DDS file with its full mip
# chain, written by ImageMagick. Pixel (x, y) of level 0 has all four channels
# equal to (30 x + 7 y) mod 256.
set -eu
cd "$(dirname "$0")"
/usr/bin/python3 -c '
import sys
sys.stdout.buffer.write(bytes((x * 30 + y * 7) & 255 for y in range(8) for x in range(8) for c in range(4)))
' > mips.raw
convert -size 8x8 -depth 8 rgba:mips.raw -define dds:compression=none -define dds:mipmaps=3 DDS:mips.dds
rm -f mips.raw
