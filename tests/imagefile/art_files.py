# Writes TGA and PCX files of every variant the loaders take (by Pillow,
# ImageMagick, or here byte for byte) and beside each its RGBA as Pillow or
# ImageMagick decodes it. Prints "name decoder alpha" per file: alpha 1
# compares alpha too, 5 only the top 5 bits of colours from 5-bit fields.
import itertools, random, struct, subprocess, sys
from PIL import Image

out = sys.argv[1]
magick = "convert-im6.q16"
random.seed(14)
W, H = 29, 9  # Pillow takes bit planes to be ceil(W / 8) bytes apart: keep that even


def picture(mode, colours):
    im = Image.new(mode, (W, H))
    values = [random.choice(colours) for _ in range(8)]
    data = []
    for y in range(H):
        for x in range(W):  # runs of equal pixels, some crossing rows, and noise
            data.append(values[(x // 5 + y) % 8] if (x + y) % 7 else random.choice(colours))
    im.putdata(data)
    return im


def colour(channels):
    return tuple(random.randrange(256) for _ in range(channels))


def emit(name, data, decoder="pil", alpha=0, pixels_of=None):
    # pixels_of: the same pixels in a form the decoder reads right.
    open(f"{out}/{name}", "wb").write(pixels_of or data)
    if decoder == "pil":
        open(f"{out}/{name}.rgba", "wb").write(Image.open(f"{out}/{name}").convert("RGBA").tobytes())
    else:
        subprocess.run([magick, f"{out}/{name}", "-depth", "8", f"rgba:{out}/{name}.rgba"], check=True)
    open(f"{out}/{name}", "wb").write(data)
    print(name, decoder, alpha)


def saved(im, name, **options):
    im.save(f"{out}/{name}", **options)
    return open(f"{out}/{name}", "rb").read()


def magick_file(name, im):
    im.save(f"{out}/src.png")
    subprocess.run([magick, f"{out}/src.png", f"{out}/{name}"], check=True)
    return open(f"{out}/{name}", "rb").read()


def patch(data, at, values):
    return data[:at] + bytes(values) + data[at + len(values):]


def word(r, g, b):
    return struct.pack("<H", 0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)


def remap(data, bits, first=0, id_field=b""):
    # The 24-bit map with `bits` entries from index `first`, after an id field.
    h = bytearray(data[:18])
    count = struct.unpack_from("<H", h, 5)[0]
    entries = data[18 + h[0]:18 + h[0] + 3 * count]
    body = data[18 + h[0] + 3 * count:]
    if first:  # raw pixels; the rest of the body is Pillow's footer
        body = bytes(v + first for v in body[:W * H]) + body[W * H:]
        count = min(count, 256 - first)
    new = b""
    for i in range(count):
        b, g, r = entries[3 * i:3 * i + 3]
        new += bytes((b, g, r) + colour(bits // 32)) if bits > 16 else word(r, g, b)
    h[0], h[7] = len(id_field), bits
    struct.pack_into("<HH", h, 3, first, count)
    return bytes(h) + id_field + new + body


modes = {"P": lambda: picture("P", range(40)), "L": lambda: picture("L", range(256)),
         "RGB": lambda: picture("RGB", [colour(3) for _ in range(40)]),
         "RGBA": lambda: picture("RGBA", [colour(4) for _ in range(40)])}
for mode, make in modes.items():
    for rle, top, right in itertools.product((False, True), repeat=3):
        im = make()
        if mode == "P":
            im.putpalette([random.randrange(256) for _ in range(120)])
        src = im.transpose(Image.FLIP_LEFT_RIGHT) if right else im
        data = saved(src, "t.tga", rle=rle, orientation=1 if top else -1)
        data = patch(data, 17, [data[17] | (0x10 if right else 0)])
        name = f"{mode}_{('raw', 'rle')[rle]}_{('bottom', 'top')[top]}_{('left', 'right')[right]}.tga"
        emit(name, data, alpha=int(mode == "RGBA"))
# Maps of every entry size (15 bits decoded as the same file marked 16),
# a first entry above 0, an id field; true colour with an unused map.
im = modes["P"]()
im.putpalette([random.randrange(256) for _ in range(120)])
plain = saved(im, "t.tga")
emit("map16.tga", remap(plain, 16), alpha=5)
emit("map15.tga", patch(remap(plain, 16), 7, [15]), alpha=5, pixels_of=remap(plain, 16))
# Pillow cannot unpack 32-bit maps; ImageMagick reads mapped files top-first.
emit("map32.tga", patch(remap(plain, 32), 17, [0x20]), "im")
emit("map24_first_id.tga", remap(plain, 24, first=200, id_field=b"written by hand"))
truecolour = saved(modes["RGB"](), "t.tga")
emit("rgb_unused_map.tga", patch(patch(truecolour[:18], 1, [1]), 3, [0, 0, 3, 0, 24]) + bytes(9) + truecolour[18:], pixels_of=truecolour)
emit("rgba_no_alpha_bits.tga", patch(saved(modes["RGBA"](), "t.tga", rle=True), 17, [0x20]))
# 16-bit true colour, raw and one raw packet a row (Pillow writes neither).
pixels = modes["RGB"]().tobytes()
words = [word(*pixels[i:i + 3]) for i in range(0, len(pixels), 3)]
head = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, W, H, 16, 0x20)
emit("rgb16.tga", head + b"".join(words), alpha=5)
emit("rgb16_rle.tga", patch(head, 2, [10]) + b"".join(bytes([W - 1]) + b"".join(words[y * W:(y + 1) * W])
                                                     for y in range(H)), alpha=5)


def pcx(bits, planes, indexes, palette16, version=5):
    # Run-length coded PCX: each row the planes in turn, bytes per plane even.
    stride = (W * bits + 7) // 8
    stride += stride % 2
    head = struct.pack("<BBBBhhhhHH", 10, version, 1, bits, 0, 0, W - 1, H - 1, 72, 72)
    head += bytes(palette16) + b"\0" + bytes([planes]) + struct.pack("<HH", stride, 1)
    head += bytes(128 - len(head))
    body = b""
    for y in range(H):
        line = b""
        for p in range(planes):
            plane = bytearray(stride)
            for x in range(W):  # planes of 1 bit, or one plane of 2 or 4
                v = (indexes[y * W + x] >> p) & 1 if bits == 1 else indexes[y * W + x]
                plane[x * bits // 8] |= v << (8 - bits - x * bits % 8)
            line += plane
        i = 0
        while i < len(line):  # runs stop at the end of each row
            n = 1
            while i + n < len(line) and n < 63 and line[i + n] == line[i]:
                n += 1
            body += bytes([line[i]]) if n == 1 and line[i] < 0xC0 else bytes([0xC0 | n, line[i]])
            i += n
    return head + body


for bits, planes in ((1, 1), (1, 2), (1, 3), (1, 4), (2, 1), (4, 1)):
    indexes = [random.randrange(1 << (bits * planes)) for _ in range(W * H)]
    pillow = (bits, planes) in ((1, 1), (1, 2), (1, 4))
    emit(f"pcx_{bits}x{planes}.pcx", pcx(bits, planes, indexes, [random.randrange(256) for _ in range(48)]),
         "pil" if pillow else "im")
# No colours in the header: the default CGA ones.
cga = [random.randrange(4) for _ in range(W * H)]
emit("pcx_2x1_cga.pcx", pcx(2, 1, cga, bytes(48)), "im",
     pixels_of=pcx(2, 1, cga, bytes.fromhex("00000055ffffff55ffffffff") + bytes(36)))
emit("pil_mono.pcx", saved(picture("1", [0, 255]), "t.pcx"))
emit("pil_8x1.pcx", saved(modes["P"](), "t.pcx"))
emit("pil_8x3.pcx", saved(modes["RGB"](), "t.pcx"))
emit("im_8x4.pcx", magick_file("im_8x4.pcx", modes["RGBA"]()), "im", 1)
