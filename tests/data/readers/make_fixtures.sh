#!/bin/sh
# Makes the reader test files in this folder with independent tools:
# Pillow draws the source pictures; ImageMagick, netpbm, Pillow and nvcompress
# (Debian's libnvtt-bin) write them in each format. The tests decode them with
# our readers and compare with stb_image or with the source picture.
# A few files are edited by hand afterwards where no tool writes the layout
# (top-down BMP, top-left TGA, a cut-off JPEG).
# Usage: make_fixtures.sh  (run from anywhere; writes next to itself)
set -eu
cd "$(dirname "$0")"
CONVERT=${CONVERT:-convert}
PYTHON=${PYTHON:-python3}
mkdir -p src bmp tga jpeg ppm pfm hdr dds

# Source pictures: 37 x 23 (odd sizes exercise row padding), deterministic.
$PYTHON - <<'PY'
from PIL import Image
import random
random.seed(7)
w, h = 37, 23
rgb = Image.new("RGB", (w, h))
rgba = Image.new("RGBA", (w, h))
for y in range(h):
    for x in range(w):
        r, g, b = (x * 7) % 256, (y * 11) % 256, (x * y + random.randrange(40)) % 256
        rgb.putpixel((x, y), (r, g, b))
        rgba.putpixel((x, y), (r, g, b, (x * 13 + y * 5) % 256))
rgb.save("src/rgb.png")
rgba.save("src/rgba.png")
rgb.convert("L").save("src/grey.png")
# Few colours, for the palette writers.
rgb.quantize(12).convert("RGB").save("src/few.png")
rgb.quantize(200).convert("RGB").save("src/many.png")
PY

# BMP
$CONVERT src/rgb.png BMP3:bmp/rgb24.bmp
$CONVERT src/many.png -type Palette -compress None BMP3:bmp/pal8.bmp
$CONVERT src/many.png -type Palette -compress RLE BMP3:bmp/pal8_rle.bmp
$CONVERT src/few.png -colors 12 -depth 4 -type Palette -compress None BMP3:bmp/pal4.bmp
$CONVERT src/rgba.png BMP:bmp/argb32_v5.bmp
$CONVERT src/rgb.png -define bmp:subtype=RGB565 BMP:bmp/rgb565.bmp
$PYTHON - <<'PY'
from PIL import Image
Image.open("src/grey.png").point(lambda v: 255 if v > 100 else 0).convert("1").save("bmp/mono1.bmp")
Image.open("src/rgb.png").save("bmp/pil_rgb24.bmp")
# Top-down copy of rgb24.bmp: negative height, rows reversed.
import struct
d = bytearray(open("bmp/rgb24.bmp", "rb").read())
off = struct.unpack_from("<I", d, 10)[0]
w, h = struct.unpack_from("<ii", d, 18)
stride = (w * 3 + 3) & ~3
rows = [d[off + i * stride: off + (i + 1) * stride] for i in range(h)]
struct.pack_into("<i", d, 22, -h)
d[off:off + h * stride] = b"".join(reversed(rows))
open("bmp/rgb24_topdown.bmp", "wb").write(d)
PY

# TGA
$CONVERT src/rgb.png tga/rgb24.tga
$CONVERT src/rgb.png -compress RLE tga/rgb24_rle.tga
$CONVERT src/rgba.png -compress RLE tga/argb32_rle.tga
$CONVERT src/grey.png -type Grayscale tga/grey8.tga
$CONVERT src/few.png -type Palette tga/pal8.tga
$PYTHON - <<'PY'
from PIL import Image
Image.open("src/rgba.png").save("tga/pil_argb32_rle.tga", rle=True)
# Top-left copy of rgb24.tga: descriptor bit 0x20, rows reversed.
d = bytearray(open("tga/rgb24.tga", "rb").read())
w, h = d[12] | d[13] << 8, d[14] | d[15] << 8
start = 18 + d[0]
assert d[1] == 0 and d[2] == 2
rows = [d[start + i * w * 3: start + (i + 1) * w * 3] for i in range(h)]
d[17] |= 0x20
d[start:start + w * h * 3] = b"".join(reversed(rows))
open("tga/rgb24_topleft.tga", "wb").write(d)
PY

# JPEG
$PYTHON - <<'PY'
from PIL import Image
rgb = Image.open("src/rgb.png")
rgb.save("jpeg/colour.jpg", quality=90)
rgb.save("jpeg/colour_444.jpg", quality=95, subsampling=0)
rgb.save("jpeg/progressive.jpg", quality=90, progressive=True)
Image.open("src/grey.png").save("jpeg/grey.jpg", quality=90)
rgb.convert("CMYK").save("jpeg/cmyk.jpg", quality=90)
d = open("jpeg/colour.jpg", "rb").read()
open("jpeg/colour_cut.jpg", "wb").write(d[: len(d) * 2 // 3])
d = open("jpeg/progressive.jpg", "rb").read()
open("jpeg/progressive_cut.jpg", "wb").write(d[: len(d) * 2 // 3])
PY

# PPM (netpbm)
pngtopnm src/rgb.png > ppm/rgb_p6.ppm
pnmtoplainpnm ppm/rgb_p6.ppm > ppm/rgb_p3.ppm
pnmdepth 15 ppm/rgb_p6.ppm | pnmtoplainpnm > ppm/rgb_p3_max15.ppm
pnmdepth 15 ppm/rgb_p6.ppm > ppm/rgb_p6_max15.ppm
pnmdepth 1000 ppm/rgb_p6.ppm | pnmtoplainpnm > ppm/rgb_p3_max1000.ppm
pnmdepth 1000 ppm/rgb_p6.ppm > ppm/rgb_p6_max1000.ppm

# PFM (ImageMagick)
$CONVERT src/rgb.png -depth 32 -define quantum:format=floating-point pfm/rgb.pfm
$CONVERT src/grey.png -type Grayscale -depth 32 -define quantum:format=floating-point pfm/grey.pfm
# The same colours little-endian (negative scale).
$PYTHON - <<'PY'
d = open("pfm/rgb.pfm", "rb").read()
head = d.index(b"\n1.0\n") + 5
body = d[head:]
swapped = b"".join(body[i:i + 4][::-1] for i in range(0, len(body), 4))
open("pfm/rgb_le.pfm", "wb").write(d[:head - 4] + b"-1.0\n" + swapped)
PY

# Radiance HDR (ImageMagick writes run-length scanlines for widths 8 to 32767)
$CONVERT src/rgb.png hdr/rgb_rle.hdr
$CONVERT src/rgb.png -crop 5x23+0+0 +repage hdr/rgb_flat.hdr

# DDS (nvcompress and nvassemble from libnvtt-bin; ImageMagick for the rest)
nvcompress -silent -bc1 src/rgb.png dds/dxt1_mips.dds
nvcompress -silent -bc3 src/rgba.png dds/dxt5_mips.dds
nvcompress -silent -rgb -nomips src/rgba.png dds/argb32.dds
for f in 1 2 3 4 5 6; do cp src/rgb.png src/face$f.png; done
$CONVERT src/rgb.png -resize 32x32! src/face.png
for f in 1 2 3 4 5 6; do $CONVERT src/face.png -modulate 100,100,$((f * 30)) src/face$f.png; done
nvassemble -cube src/face1.png src/face2.png src/face3.png src/face4.png src/face5.png src/face6.png -o dds/cube_raw.dds
nvcompress -silent -bc1 dds/cube_raw.dds dds/cube_dxt1.dds
$CONVERT src/rgb.png -define dds:compression=none -define dds:mipmaps=0 dds/im_rgb.dds
rm -f src/face*.png dds/cube_raw.dds
echo done
