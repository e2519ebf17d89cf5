#!/usr/bin/python3
"""Makes the PNG test files in png/ and what each must decode to.

The PNG files are written by Pillow or ImageMagick (convert) from patterns
made here. Each NAME.png comes with NAME.expect: the picture as it must come
out of a decoder, as rows of R, G, B, A samples (16-bit little-endian words
holding values up to the header's maximum), behind a 16-byte header:
b"QVEX", width, height, maximum (uint32 little-endian). The expected values
come from the pattern with the file's colour key and gamma applied; every
file is also decoded by Pillow (its own decoder, not libpng) and checked
against them, so a fixture cannot be wrong in the same way as the code
under test.

Ancillary chunks the tools add (gAMA, cHRM, bKGD, tEXt, tIME) are removed,
so the files are reproducible; tRNS, gAMA and sRGB chunks are inserted where
a case asks for them.

Run from anywhere: /usr/bin/python3 make_png_fixtures.py
"""
import io
import os
import struct
import subprocess
import tempfile
import zlib

from PIL import Image, PngImagePlugin  # noqa: F401

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "png")


def pattern(count, seed, modulo):
    """Deterministic pseudo-random values in 0 .. modulo - 1."""
    state = seed
    out = []
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 8) % modulo)
    return out


def chunks(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos = 8
    while pos < len(data):
        length = struct.unpack(">I", data[pos:pos + 4])[0]
        yield data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        pos += 12 + length


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def rebuild(data, before_plte=(), before_idat=(), plte_entries=None):
    """Keeps only critical chunks and tRNS; adds the given (type, body) pairs.
    With plte_entries, PLTE is cut to that many colours (the tools pad it to
    the bit depth's full count)."""
    out = [b"\x89PNG\r\n\x1a\n"]
    placed_early = placed_late = False
    for kind, body in chunks(data):
        if kind not in (b"IHDR", b"PLTE", b"tRNS", b"IDAT", b"IEND"):
            continue
        if kind in (b"PLTE", b"IDAT", b"tRNS") and not placed_early:
            out += [chunk(k, b) for k, b in before_plte]
            placed_early = True
        if kind == b"IDAT" and not placed_late:
            out += [chunk(k, b) for k, b in before_idat]
            placed_late = True
        if kind == b"PLTE" and plte_entries is not None:
            body = body[:3 * plte_entries]
        out.append(chunk(kind, body))
    return b"".join(out)


def ihdr(data):
    for kind, body in chunks(data):
        if kind == b"IHDR":
            return struct.unpack(">IIBBBBB", body)
    raise ValueError("no IHDR")


def magick(raw, size, depth, mapping, defines, interlace=False):
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "in.raw")
        dst = os.path.join(tmp, "out.png")
        with open(src, "wb") as f:
            f.write(raw)
        cmd = ["convert", "-size", "%dx%d" % size, "-depth", str(depth), "-endian", "MSB",
               "%s:%s" % (mapping, src)]
        for d in defines:
            cmd += ["-define", d]
        if interlace:
            cmd += ["-interlace", "PNG"]
        cmd.append(dst)
        subprocess.run(cmd, check=True)
        with open(dst, "rb") as f:
            return f.read()


def pillow(image, **options):
    buffer = io.BytesIO()
    image.save(buffer, "PNG", **options)
    return buffer.getvalue()


def write(name, data, width, height, maximum, rgba, expect_ihdr):
    got = ihdr(data)
    assert got[0] == width and got[1] == height, name
    assert (got[2], got[3], got[6]) == expect_ihdr, (name, got)
    with open(os.path.join(HERE, name + ".png"), "wb") as f:
        f.write(data)
    with open(os.path.join(HERE, name + ".expect"), "wb") as f:
        f.write(b"QVEX" + struct.pack("<III", width, height, maximum))
        f.write(b"".join(struct.pack("<HHHH", *p) for p in rgba))


def check_with_pillow(name, data, rgba, maximum, tolerance=0, channels=4):
    """Pillow decodes to 8 bits; compare the expected values' top 8 bits.

    Pillow does not apply a tRNS key to grey files of fewer than 8 bits;
    those are checked on their grey values only (channels=3)."""
    image = Image.open(io.BytesIO(data))
    image.load()
    decoded = list(image.convert("RGBA").getdata())
    shift = 8 if maximum == 65535 else 0
    for i, (want, have) in enumerate(zip(rgba, decoded)):
        for c in range(channels):
            w = want[c] >> shift
            if abs(w - have[c]) > tolerance:
                raise AssertionError("%s pixel %d channel %d: want %d, Pillow %d" % (name, i, c, w, have[c]))


def scale(value, bits):
    return value * 255 // ((1 << bits) - 1)


def gamma_correct(value, file_gamma):
    return int(pow(value / 255.0, 1.0 / (file_gamma * 2.2)) * 255.0 + 0.5)


def main():
    os.makedirs(HERE, exist_ok=True)
    W, H = 7, 5          # odd sizes: sub-byte rows end inside a byte
    IW, IH = 11, 9       # interlaced files: every one of the seven passes has pixels
    n = W * H

    # Grey, 1, 2, 4 bits, with and without a colour key.
    for bits in (1, 2, 4):
        values = pattern(n, 10 + bits, 1 << bits)
        key = (1 << bits) - 1 if bits > 1 else 1
        if bits == 1:
            image = Image.new("1", (W, H))
            image.putdata([v * 255 for v in values])
            plain = pillow(image)
        else:
            raw = bytes(v * 255 // ((1 << bits) - 1) for v in values)
            plain = magick(raw, (W, H), 8, "gray", ["png:bit-depth=%d" % bits, "png:color-type=0"])
        plain = rebuild(plain)
        rgba = [(scale(v, bits),) * 3 + (255,) for v in values]
        check_with_pillow("grey%d" % bits, plain, rgba, 255)
        write("grey%d" % bits, plain, W, H, 255, rgba, (bits, 0, 0))
        keyed = rebuild(plain, before_idat=[(b"tRNS", struct.pack(">H", key))])
        rgba = [(scale(v, bits),) * 3 + (0 if v == key else 255,) for v in values]
        check_with_pillow("grey%d_trns" % bits, keyed, rgba, 255, channels=3)
        write("grey%d_trns" % bits, keyed, W, H, 255, rgba, (bits, 0, 0))

    # Grey, 8 and 16 bits.
    values = pattern(n, 20, 256)
    image = Image.new("L", (W, H))
    image.putdata(values)
    data = rebuild(pillow(image))
    rgba = [(v, v, v, 255) for v in values]
    check_with_pillow("grey8", data, rgba, 255)
    write("grey8", data, W, H, 255, rgba, (8, 0, 0))
    data = rebuild(pillow(image, transparency=values[3]))
    rgba = [(v, v, v, 0 if v == values[3] else 255) for v in values]
    check_with_pillow("grey8_trns", data, rgba, 255)
    write("grey8_trns", data, W, H, 255, rgba, (8, 0, 0))

    values = pattern(n, 21, 65536)
    raw = b"".join(struct.pack(">H", v) for v in values)
    data = rebuild(magick(raw, (W, H), 16, "gray", ["png:bit-depth=16", "png:color-type=0"]))
    rgba = [(v, v, v, 65535) for v in values]
    write("grey16", data, W, H, 65535, rgba, (16, 0, 0))
    keyed = rebuild(data, before_idat=[(b"tRNS", struct.pack(">H", values[5]))])
    rgba = [(v, v, v, 0 if v == values[5] else 65535) for v in values]
    write("grey16_trns", keyed, W, H, 65535, rgba, (16, 0, 0))

    # Grey and alpha, 8 and 16 bits.
    values = pattern(2 * n, 30, 256)
    pairs = list(zip(values[0::2], values[1::2]))
    image = Image.new("LA", (W, H))
    image.putdata(pairs)
    data = rebuild(pillow(image))
    rgba = [(g, g, g, a) for g, a in pairs]
    write("greyalpha8", data, W, H, 255, rgba, (8, 4, 0))
    values = pattern(2 * n, 31, 65536)
    pairs = list(zip(values[0::2], values[1::2]))
    raw = b"".join(struct.pack(">HH", g, a) for g, a in pairs)
    data = rebuild(magick(raw, (W, H), 16, "graya", ["png:bit-depth=16", "png:color-type=4"]))
    rgba = [(g, g, g, a) for g, a in pairs]
    write("greyalpha16", data, W, H, 65535, rgba, (16, 4, 0))

    # RGB, 8 bits: plain, keyed, interlaced, with gAMA, with sRGB.
    values = pattern(3 * n, 40, 256)
    pixels = list(zip(values[0::3], values[1::3], values[2::3]))
    pixels[9] = pixels[2]  # the key colour appears twice
    image = Image.new("RGB", (W, H))
    image.putdata(pixels)
    plain = rebuild(pillow(image))
    rgba = [p + (255,) for p in pixels]
    check_with_pillow("rgb8", plain, rgba, 255)
    write("rgb8", plain, W, H, 255, rgba, (8, 2, 0))
    data = rebuild(pillow(image, transparency=pixels[2]))
    rgba = [p + (0 if p == pixels[2] else 255,) for p in pixels]
    check_with_pillow("rgb8_trns", data, rgba, 255)
    write("rgb8_trns", data, W, H, 255, rgba, (8, 2, 0))
    data = rebuild(plain, before_plte=[(b"gAMA", struct.pack(">I", 100000))])
    rgba = [tuple(gamma_correct(c, 1.0) for c in p) + (255,) for p in pixels]
    write("rgb8_gama", data, W, H, 255, rgba, (8, 2, 0))
    data = rebuild(plain, before_plte=[(b"sRGB", b"\x00"), (b"gAMA", struct.pack(">I", 45455))])
    rgba = [p + (255,) for p in pixels]
    write("rgb8_srgb", data, W, H, 255, rgba, (8, 2, 0))

    values = pattern(3 * IW * IH, 41, 256)
    ipixels = list(zip(values[0::3], values[1::3], values[2::3]))
    raw = bytes(values)
    data = rebuild(magick(raw, (IW, IH), 8, "rgb", ["png:bit-depth=8", "png:color-type=2"], interlace=True))
    assert ihdr(data)[6] == 1
    rgba = [p + (255,) for p in ipixels]
    check_with_pillow("rgb8_interlaced", data, rgba, 255)
    write("rgb8_interlaced", data, IW, IH, 255, rgba, (8, 2, 1))

    # RGB, 16 bits, plain and keyed.
    values = pattern(3 * n, 42, 65536)
    pixels16 = list(zip(values[0::3], values[1::3], values[2::3]))
    pixels16[11] = pixels16[4]
    raw = b"".join(struct.pack(">HHH", *p) for p in pixels16)
    data = rebuild(magick(raw, (W, H), 16, "rgb", ["png:bit-depth=16", "png:color-type=2"]))
    rgba = [p + (65535,) for p in pixels16]
    check_with_pillow("rgb16", data, rgba, 65535)
    write("rgb16", data, W, H, 65535, rgba, (16, 2, 0))
    keyed = rebuild(data, before_idat=[(b"tRNS", struct.pack(">HHH", *pixels16[4]))])
    rgba = [p + (0 if p == pixels16[4] else 65535,) for p in pixels16]
    write("rgb16_trns", keyed, W, H, 65535, rgba, (16, 2, 0))

    # RGB and alpha, 8 and 16 bits.
    values = pattern(4 * n, 50, 256)
    pixels = list(zip(values[0::4], values[1::4], values[2::4], values[3::4]))
    image = Image.new("RGBA", (W, H))
    image.putdata(pixels)
    data = rebuild(pillow(image))
    check_with_pillow("rgba8", data, pixels, 255)
    write("rgba8", data, W, H, 255, pixels, (8, 6, 0))
    values = pattern(4 * n, 51, 65536)
    pixels16 = list(zip(values[0::4], values[1::4], values[2::4], values[3::4]))
    raw = b"".join(struct.pack(">HHHH", *p) for p in pixels16)
    data = rebuild(magick(raw, (W, H), 16, "rgba", ["png:bit-depth=16", "png:color-type=6"]))
    write("rgba16", data, W, H, 65535, pixels16, (16, 6, 0))

    # Palette, 1, 2, 4 and 8 bits. PLTE has fewer entries than the depth
    # allows where it can, tRNS fewer still.
    for bits in (1, 2, 4, 8):
        colours = min(1 << bits, 3 if bits == 2 else 11 if bits == 4 else 200 if bits == 8 else 2)
        plte = pattern(3 * colours, 60 + bits, 256)
        indices = pattern(n, 70 + bits, colours)
        image = Image.new("P", (W, H))
        image.putpalette(plte)
        image.putdata(indices)
        alpha = bytes(pattern(max(1, colours // 2), 80 + bits, 256))
        for name, options, trns in (("pal%d" % bits, {}, b""),
                                    ("pal%d_trns" % bits, {"transparency": alpha}, alpha)):
            data = pillow(image, bits=bits, **options)
            data = rebuild(data, plte_entries=colours)
            got = [b for k, b in chunks(data) if k == b"PLTE"][0]
            assert got[:3 * colours] == bytes(plte), name
            count = len(got) // 3
            rgba = []
            for i in indices:
                a = trns[i] if i < len(trns) else 255
                rgba.append((plte[3 * i], plte[3 * i + 1], plte[3 * i + 2], a))
            check_with_pillow(name, data, rgba, 255)
            write(name, data, W, H, 255, rgba, (bits, 3, 0))
            assert count == colours

    # Palette with gAMA 1.0: the colours go through exponent 1 / 2.2.
    plte = list(range(0, 256, 16))[:16] * 3
    plte[0:3] = [128, 64, 255]
    indices = pattern(n, 90, 16)
    image = Image.new("P", (W, H))
    image.putpalette(plte)
    image.putdata(indices)
    data = rebuild(pillow(image, bits=4), before_plte=[(b"gAMA", struct.pack(">I", 100000))])
    rgba = [tuple(gamma_correct(plte[3 * i + c], 1.0) for c in range(3)) + (255,) for i in indices]
    write("pal4_gama", data, W, H, 255, rgba, (4, 3, 0))

    # Grey, 2 bits, interlaced: pass rows end inside a byte.
    values = pattern(IW * IH, 92, 4)
    raw = bytes(v * 85 for v in values)
    data = rebuild(magick(raw, (IW, IH), 8, "gray", ["png:bit-depth=2", "png:color-type=0"], interlace=True))
    rgba = [(v * 85,) * 3 + (255,) for v in values]
    check_with_pillow("grey2_interlaced", data, rgba, 255)
    write("grey2_interlaced", data, IW, IH, 255, rgba, (2, 0, 1))

if __name__ == "__main__":
    main()
