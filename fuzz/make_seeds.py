#!/usr/bin/env python3
"""Builds the seed corpora under fuzz/corpus/: small valid files of every
variant each reader knows, written by peer tools (ImageMagick, netpbm,
libjpeg-turbo tools, libtiff tools, webp tools) or by tessel-cli, plus a few files put
together byte by byte where no tool writes the variant (OS/2 and RLE4 BMP,
bit fields, top-down rows, 16-bit and right-origin TGA, multi-image TIFF),
the NUL-separated fields of the HTML export target, and JPEG, PNG and TIFF
files carrying ICC profiles (built with Little CMS), whole and damaged,
CMYK JPEG among them.

Usage: fuzz/make_seeds.py TESSEL_CLI [OUTDIR]
Rerun only to refresh the corpora; the committed files are the seeds.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import iccprofiles  # noqa: E402


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Seeds:
    def __init__(self, cli, out, work):
        self.cli, self.out, self.work = cli, out, work
        self.base = os.path.join(work, "base.ppm")
        run("convert", "-size", "9x5", "gradient:#e03010-#1040c0", "-depth", "8", self.base)

    def path(self, target, name):
        d = os.path.join(self.out, target)
        os.makedirs(d, exist_ok=True)
        return os.path.join(d, name)

    def magick(self, target, name, *options):
        run("convert", self.base, *options, self.path(target, name))

    def ours(self, target, name, source, *settings):
        args = [self.cli, "convert", source, self.path(target, name)]
        for s in settings:
            args += ["--set", s]
        run(*args)

    def raw(self, target, name, data):
        with open(self.path(target, name), "wb") as f:
            f.write(data)


# ---------------------------------------------------------------- byte-built files

def bmp_file(info_header, table, pixels):
    offset = 14 + len(info_header) + len(table)
    size = offset + len(pixels)
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + info_header + table + pixels


def info_header(width, height, bits, compression=0, size_image=0, clr_used=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression,
                       size_image, 0, 0, clr_used, 0)


def grey_table(n, entry=4):
    step = 255 // max(n - 1, 1)
    return b"".join(bytes([i * step] * 3) + b"\0" * (entry - 3) for i in range(n))


def bmp_seeds(s):
    # OS/2 core header, 8-bit palette
    core = struct.pack("<IHHHH", 12, 4, 2, 1, 8)
    s.raw("bmp", "os2_8bit.bmp", bmp_file(core, grey_table(256, 3), bytes(range(8))))
    # RLE4 with an encoded run, an odd absolute run (padding byte), delta and end codes
    rle4 = bytes([4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 2, 1, 1, 2, 0x77, 0, 1])
    s.raw("bmp", "rle4.bmp", bmp_file(info_header(6, 3, 4, 2, len(rle4), 16), grey_table(16), rle4))
    rle8 = bytes([3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 6, 9, 0, 1])
    s.raw("bmp", "rle8.bmp", bmp_file(info_header(6, 2, 8, 1, len(rle8), 10), grey_table(10), rle8))
    # top-down 24-bit rows
    rows = b"".join(bytes([10 * y, 20, 200 - y] * 3) + b"\0\0\0" for y in range(3))
    s.raw("bmp", "topdown24.bmp", bmp_file(info_header(3, -3, 24), b"", rows))
    # 16-bit 5-5-5 and bit fields 5-6-5, 32-bit plain and bit fields
    px16 = struct.pack("<4H", 0x7FFF, 0x001F, 0x03E0, 0x7C00)
    s.raw("bmp", "rgb555.bmp", bmp_file(info_header(2, 2, 16), b"", px16))
    masks565 = struct.pack("<3I", 0xF800, 0x07E0, 0x001F)
    s.raw("bmp", "bitfields565.bmp", bmp_file(info_header(2, 2, 16, 3), masks565, px16))
    px32 = struct.pack("<4I", 0xFF0000, 0xFF00, 0xFF, 0x808080)
    s.raw("bmp", "rgb32.bmp", bmp_file(info_header(2, 2, 32), b"", px32))
    masks32 = struct.pack("<3I", 0x3FF00000, 0xFFC00, 0x3FF)
    s.raw("bmp", "bitfields32.bmp", bmp_file(info_header(2, 2, 32, 3), masks32, px32))
    # colours-used shorter than the depth's table
    s.raw("bmp", "clrused3.bmp", bmp_file(info_header(4, 1, 8, 0, 0, 3), grey_table(3), bytes([0, 1, 2, 1])))
    for name, opts in [("mono.bmp", ["-monochrome", "BMP3:"]),
                       ("pal4.bmp", ["-colors", "16", "-type", "Palette", "BMP3:"]),
                       ("pal8.bmp", ["-type", "Palette", "BMP3:"]),
                       ("rle8_im.bmp", ["-type", "Palette", "-compress", "RLE", "BMP3:"]),
                       ("rgb24.bmp", ["-type", "TrueColor", "BMP3:"]),
                       ("core24.bmp", ["-type", "TrueColor", "BMP2:"])]:
        prefix = opts[-1]
        run("convert", s.base, *opts[:-1], prefix + s.path("bmp", name))
    s.ours("bmp", "ours24.bmp", s.base)
    s.ours("bmp", "ours_grey.dib", s.path("bmp", "pal8.bmp"))
    later_bmp_seeds(s)


def later_bmp_seeds(s):
    """The 124-byte header ImageMagick writes by default (masks inside it
    when there is alpha) and a 108-byte one with 5-6-5 masks."""
    s.magick("bmp", "v5_rgb.bmp")
    s.magick("bmp", "v5_alpha.bmp", "-alpha", "on", "-channel", "A", "-evaluate", "set", "50%", "+channel")
    v4 = struct.pack("<IiiHHIIiiII", 108, 2, 2, 1, 16, 3, 8, 0, 0, 0, 0)
    v4 += struct.pack("<4I", 0xF800, 0x07E0, 0x001F, 0) + bytes(108 - 56)
    s.raw("bmp", "v4_565.bmp", bmp_file(v4, b"", struct.pack("<4H", 0xF800, 0x07E0, 0x001F, 0xFFFF)))
    offset_and_header_bmp_seeds(s)


def offset_and_header_bmp_seeds(s):
    """Pixels behind a gap that the pixel-data offset skips; the OS/2 2.x
    headers of 16 and 64 bytes and the Windows ones of 52 and 56 bytes."""
    table, pixels = grey_table(4), bytes([0, 1, 2, 3, 3, 2, 1, 0])
    gap = b"\xAA" * 10
    head = info_header(4, 2, 8, 0, 0, 4)
    offset = 14 + len(head) + len(table) + len(gap)
    s.raw("bmp", "gap_offset.bmp",
          b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + head + table + gap + pixels)
    os2_short = struct.pack("<IiiHH", 16, 4, 2, 1, 8)
    s.raw("bmp", "os2v2_16.bmp", bmp_file(os2_short, grey_table(256), pixels))
    os2_long = info_header(4, 2, 8, 0, 0, 4)[4:]
    s.raw("bmp", "os2v2_64.bmp", bmp_file(struct.pack("<I", 64) + os2_long + bytes(24), table, pixels))
    masks = struct.pack("<3I", 0xFF0000, 0xFF00, 0xFF)
    v2 = struct.pack("<I", 52) + info_header(2, 2, 32, 3)[4:] + masks
    s.raw("bmp", "v2_52_bitfields32.bmp", bmp_file(v2, b"", struct.pack("<4I", 0xFF0000, 0xFF00, 0xFF, 0x808080)))
    v3 = struct.pack("<I", 56) + info_header(2, 2, 16, 3)[4:] + struct.pack("<4I", 0xF800, 0x07E0, 0x001F, 0)
    s.raw("bmp", "v3_56_bitfields16.bmp", bmp_file(v3, b"", struct.pack("<4H", 0xF800, 0x07E0, 0x001F, 0xFFFF)))


# ---------------------------------------------------------------- TIFF

def tiff_entry(order, tag, ftype, count, value):
    if ftype == 3 and count == 1:
        field = struct.pack(order + "HH", value, 0)
    else:
        field = struct.pack(order + "I", value)
    return struct.pack(order + "HHI", tag, ftype, count) + field


def tiff_multi(order):
    """Two 2x2 grey images in one file, the second with SHORT strip fields."""
    mark = b"II" if order == "<" else b"MM"
    head = mark + struct.pack(order + "HI", 42, 8)
    out = bytearray(head)

    def ifd(at, pixels_at, nxt, strip_type):
        entries = [(256, 3, 1, 2), (257, 3, 1, 2), (258, 3, 1, 8), (259, 3, 1, 1),
                   (262, 3, 1, 1), (273, strip_type, 1, pixels_at), (278, 3, 1, 2),
                   (279, strip_type, 1, 4)]
        body = struct.pack(order + "H", len(entries))
        body += b"".join(tiff_entry(order, *e) for e in entries)
        return body + struct.pack(order + "I", nxt)

    first = 8
    size_ifd = 2 + 8 * 12 + 4
    second = first + size_ifd
    pix = second + size_ifd
    out += ifd(first, pix, second, 4)
    out += ifd(second, pix + 4, 0, 3)
    out += bytes([0, 80, 160, 255, 255, 160, 80, 0])
    return bytes(out)


def tiff_seeds(s):
    for name, opts in [("bilevel.tif", ["-monochrome", "-compress", "none"]),
                       ("grey8.tif", ["-colorspace", "Gray", "-compress", "none"]),
                       ("grey4.tif", ["-colorspace", "Gray", "-depth", "4", "-compress", "none"]),
                       ("palette.tif", ["-type", "Palette", "-compress", "none"]),
                       ("rgb.tif", ["-type", "TrueColor", "-compress", "none"]),
                       ("rgb_packbits.tif", ["-type", "TrueColor", "-compress", "RLE"]),
                       ("rgba.tif", ["-type", "TrueColorAlpha", "-compress", "none"]),
                       ("cmyk.tif", ["-colorspace", "CMYK", "-compress", "none"]),
                       ("rgb_msb_strips.tif", ["-type", "TrueColor", "-endian", "MSB", "-compress", "none",
                                               "-define", "tiff:rows-per-strip=2"]),
                       ("grey_packbits_strips.tif", ["-colorspace", "Gray", "-compress", "RLE",
                                                     "-define", "tiff:rows-per-strip=1"])]:
        s.magick("tiff", name, *opts)
    mono = s.path("tiff", "bilevel.tif")
    s.ours("tiff", "ours_packbits.tif", s.base, "TiffCompression=32773")
    s.ours("tiff", "ours_cmyk_mm.tif", s.base, "TiffWriteCMYK=true", "TiffBigEndian=true")
    s.ours("tiff", "ours_wiz.tif", mono, "TiffWhiteIsZero=true")
    s.ours("tiff", "ours_pal.tif", s.path("tiff", "palette.tif"), "TiffCompression=32773")
    s.raw("tiff", "multi_ii.tif", tiff_multi("<"))
    s.raw("tiff", "multi_mm.tif", tiff_multi(">"))
    s.raw("tiff", "bilevel_no_bits.tif", tiff_bilevel_no_bits(6))
    s.raw("tiff", "short_strip_count.tif", tiff_bilevel_no_bits(2))


def tiff_compressed_seeds(s):
    """The layouts editors write: LZW and Deflate (with the horizontal
    predictor), tiles, 16 bits a sample, planes of their own, alpha."""
    for name, opts in [("lzw.tif", ["-compress", "LZW"]),
                       ("lzw_predictor.tif", ["-compress", "LZW", "-define", "tiff:predictor=2"]),
                       ("zip_predictor16.tif", ["-depth", "16", "-compress", "Zip", "-define", "tiff:predictor=2"]),
                       ("tiled_lzw.tif", ["-compress", "LZW", "-define", "tiff:tile-geometry=16x16"]),
                       ("planar_zip.tif", ["-interlace", "plane", "-compress", "Zip"]),
                       ("tiled_planar16.tif", ["-depth", "16", "-interlace", "plane", "-compress", "LZW",
                                               "-define", "tiff:tile-geometry=16x16"]),
                       ("grey16_lzw.tif", ["-colorspace", "Gray", "-depth", "16", "-compress", "LZW"]),
                       ("greyalpha_zip.tif", ["-colorspace", "Gray", "-alpha", "on", "-channel", "A", "-fx", "i/w",
                                              "+channel", "-compress", "Zip"]),
                       ("rgba_assoc_lzw.tif", ["-alpha", "on", "-channel", "A", "-fx", "j/h", "+channel",
                                               "-define", "tiff:alpha=associated", "-compress", "LZW"])]:
        s.magick("tiff", name, *opts)
    run("tiffcp", "-c", "zip", s.path("tiff", "rgb.tif"), s.path("tiff", "zip_tiffcp.tif"))


def tiff_bilevel_no_bits(count):
    """A 13 x 3 bilevel file without SamplesPerPixel and BitsPerSample, as
    Pillow writes them; its one strip is said to hold `count` bytes of 6."""
    entries = [(256, 3, 1, 13), (257, 3, 1, 3), (259, 3, 1, 1), (262, 3, 1, 1),
               (273, 4, 1, 8), (278, 3, 1, 3), (279, 4, 1, count)]
    pixels = bytes([0x80, 0x08, 0x41, 0x10, 0xFF, 0xF8])
    ifd = struct.pack("<H", len(entries)) + b"".join(tiff_entry("<", *e) for e in entries)
    return b"II" + struct.pack("<HI", 42, 8 + len(pixels)) + pixels + ifd + struct.pack("<I", 0)


# ---------------------------------------------------------------- PCX, PNM, TGA

def pcx_seeds(s):
    s.magick("pcx", "mono.pcx", "-monochrome")
    s.magick("pcx", "pal16.pcx", "-colors", "16", "-type", "Palette")
    s.magick("pcx", "pal256.pcx", "-type", "Palette")
    s.magick("pcx", "rgb.pcx", "-type", "TrueColor")
    # 4 planes of 1 bit, version 3 (system colours)
    h = bytearray(128)
    h[0:4] = bytes([10, 3, 1, 1])
    h[8:12] = struct.pack("<HH", 7, 1)
    h[65] = 4
    h[66:70] = struct.pack("<HH", 1, 1)
    rows = bytes([0xC1, 0xF0, 0x0F, 0xC1, 0xAA, 0x55] * 2)
    s.raw("pcx", "planes16_v3.pcx", bytes(h) + rows)


def pnm_seeds(s):
    for name, opts in [("p1.pbm", ["-monochrome", "-compress", "none"]),
                       ("p4.pbm", ["-monochrome"]),
                       ("p2.pgm", ["-colorspace", "Gray", "-compress", "none"]),
                       ("p5.pgm", ["-colorspace", "Gray"]),
                       ("p3.ppm", ["-compress", "none"]),
                       ("p6.ppm", [])]:
        s.magick("pnm", name, *opts)
    s.raw("pnm", "comments_max65535.pgm", b"P2\n# c\n3 # w\n2\n65535\n0 1 65535\n300 40000 2\n")
    s.raw("pnm", "max15.ppm", b"P6 2 1 15\n" + bytes([0, 7, 15, 15, 7, 0]))
    s.raw("pnm", "packed_p1.pbm", b"P1 4 2 0110\n1001")
    s.ours("pnm", "ours_ascii.ppm", s.base)
    s.ours("pnm", "ours_binary.pgm", s.base, "PxmBinary=true")


def tga_header(cmap_type, image_type, cmap_len, cmap_bits, w, h, depth, desc, first=0):
    return struct.pack("<BBBHHBHHHHBB", 0, cmap_type, image_type, first, cmap_len, cmap_bits,
                       0, 0, w, h, depth, desc)


def tga_seeds(s):
    for name, opts in [("rgb.tga", ["-type", "TrueColor"]),
                       ("rgb_rle.tga", ["-type", "TrueColor", "-compress", "RLE"]),
                       ("mapped.tga", ["-type", "Palette"]),
                       ("mapped_rle.tga", ["-type", "Palette", "-compress", "RLE"]),
                       ("grey.tga", ["-type", "Grayscale"]),
                       ("rgba.tga", ["-type", "TrueColorAlpha"])]:
        s.magick("tga", name, *opts)
    px16 = struct.pack("<4H", 0x7FFF, 0x001F, 0x03E0, 0x7C00)
    s.raw("tga", "rgb16_topright.tga", tga_header(0, 2, 0, 0, 2, 2, 16, 0x30) + px16)
    cmap16 = struct.pack("<4H", 0x1234, 0x7C00, 0x03E0, 0x001F)  # entry 0 is skipped
    s.raw("tga", "mapped_cmap16_first1.tga",
          tga_header(1, 1, 4, 16, 2, 2, 8, 0x20, first=1) + cmap16 + bytes([0, 1, 2, 1]))
    rle32 = bytes([0x81, 1, 2, 3, 0, 0x01, 9, 8, 7, 0, 6, 5, 4, 0])
    s.raw("tga", "rgb32_rle_right.tga", tga_header(0, 10, 0, 0, 2, 2, 32, 0x10) + rle32)
    s.raw("tga", "id_field.tga", b"\x03" + tga_header(0, 3, 0, 0, 2, 1, 8, 0)[1:] + b"abc" + bytes([0, 255]))
    s.ours("tga", "ours.tga", s.base)


# ---------------------------------------------------------------- JPEG, PNG

def jpeg_seeds(s):
    ppm, pgm = s.base, os.path.join(s.work, "grey.pgm")
    run("convert", s.base, "-colorspace", "Gray", pgm)
    variants = [("baseline.jpg", [], ppm), ("progressive.jpg", ["-progressive"], ppm),
                ("grey.jpg", [], pgm), ("arith.jpg", ["-arithmetic"], ppm),
                ("restart.jpg", ["-restart", "1B"], ppm), ("s444.jpg", ["-sample", "1x1"], ppm),
                ("optimize.jpg", ["-optimize", "-quality", "30"], ppm)]
    for name, opts, src in variants:
        with open(s.path("jpeg", name), "wb") as f:
            subprocess.run(["cjpeg", *opts, src], check=True, stdout=f)
    s.magick("jpeg", "cmyk.jpg", "-colorspace", "CMYK")
    cmyk = os.path.join(s.work, "cmyk.tif")
    run("convert", s.base, "-colorspace", "CMYK", cmyk)
    subprocess.run(["/usr/bin/python3", "-c", "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                    "im.save(sys.argv[2], quality=80); im.save(sys.argv[3], quality=80, icc_profile=open(sys.argv[4], 'rb').read())",
                    cmyk, s.path("jpeg", "cmyk_adobe.jpg"), s.path("jpeg", "cmyk_icc.jpg"), cmyk_profile(s)], check=True)
    s.ours("jpeg", "ours.jpg", s.base)
    # many_scans.jpg (210 scans, one AC coefficient and one bit each) is kept
    # as committed: no tool here writes more than 100 scans.
    jpeg_thumbnail_seed(s)


def cmyk_profile(s):
    path = os.path.join(s.work, "cmyk.icc")
    with open(path, "wb") as f:
        f.write(iccprofiles.cmyk())
    return path


def jpeg_thumbnail_seed(s):
    """A baseline file carrying a progressive one in an APP1 segment, as a
    thumbnail is carried: its scans are not the file's own."""
    with open(s.path("jpeg", "baseline.jpg"), "rb") as f:
        baseline = f.read()
    with open(s.path("jpeg", "progressive.jpg"), "rb") as f:
        thumb = f.read()
    app1 = b"\xFF\xE1" + struct.pack(">H", len(thumb) + 2) + thumb
    s.raw("jpeg", "thumbnail_app1.jpg", baseline[:2] + app1 + baseline[2:])


def png_seeds(s):
    # No time stamps (the seeds stay the same from run to run), one comment.
    fixed = ["-define", "png:exclude-chunk=date,tIME", "-set", "comment", "seed"]
    for name, opts in [("rgb.png", ["-type", "TrueColor"]),
                       ("rgba.png", ["-type", "TrueColorAlpha"]),
                       ("palette.png", ["-type", "Palette"]),
                       ("palette_trns.png", ["-type", "PaletteAlpha"]),
                       ("grey1.png", ["-monochrome"]),
                       ("grey4.png", ["-colorspace", "Gray", "-depth", "4"]),
                       ("grey16.png", ["-colorspace", "Gray", "-depth", "16"]),
                       ("greyalpha.png", ["-type", "GrayscaleAlpha"]),
                       ("rgb16.png", ["-depth", "16", "PNG48:"]),
                       ("interlaced.png", ["-interlace", "PNG"]),
                       ("gamma.png", ["-gamma", "0.8", "-define", "png:include-chunk=gAMA,bKGD"]),
                       ("grey_gamma_only.png", ["-colorspace", "Gray", "-set", "gamma", "1.0", "-define",
                                                "png:include-chunk=gAMA", "-define", "png:exclude-chunk=cHRM,bKGD"])]:
        opts = fixed + list(opts)
        if opts[-1].endswith(":"):
            prefix = opts.pop()
            run("convert", s.base, *opts, prefix + s.path("png", name))
        else:
            s.magick("png", name, *opts)
    s.ours("png", "ours.png", s.base)
    png_limit_seeds(s)


def png_chunk(kind, data, length=None):
    import zlib
    size = len(data) if length is None else length
    return struct.pack(">I", size) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def tiny_png(extra):
    import zlib
    head = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
    return head + extra + png_chunk(b"IDAT", zlib.compress(b"\x00\x80")) + png_chunk(b"IEND", b"")


def png_limit_seeds(s):
    """Chunks that meet the decoder's limits: a length past the most a chunk
    may hold, a compressed profile, and hundreds of small chunks."""
    import zlib
    s.raw("png", "lying_length.png", tiny_png(png_chunk(b"zTXt", b"k\x00\x00", 1 << 25)))
    s.raw("png", "iccp.png", tiny_png(png_chunk(b"iCCP", b"icc\x00\x00" + zlib.compress(bytes(600)))))
    s.raw("png", "many_chunks.png", tiny_png(png_chunk(b"tEXt", b"k\x00v") * 500))


# ---------------------------------------------------------------- ICC profiles

def jpeg_with_icc(jpeg, parts, order=None):
    """APP2 ICC_PROFILE markers after SOI; parts are (sequence, count, data)."""
    markers = [b"\xff\xe2" + struct.pack(">H", 2 + 14 + len(d)) + b"ICC_PROFILE\0" + bytes([n, c]) + d
               for n, c, d in parts]
    return jpeg[:2] + b"".join(markers[i] for i in (order or range(len(markers)))) + jpeg[2:]


def split(profile, count):
    size = -(-len(profile) // count)
    return [(i + 1, count, profile[i * size:(i + 1) * size]) for i in range(count)]


def png_with(png, chunk):
    return png[:33] + chunk + png[33:]  # after the signature and IHDR


def tiff_rgb_with_icc(profile):
    """A 3 x 2 RGB image, little-endian, with the profile as tag 34675."""
    pixels = bytes(range(0, 180, 10))
    entries = [(256, 3, 1, 3), (257, 3, 1, 2), (258, 3, 3, 8), (259, 3, 1, 1), (262, 3, 1, 2),
               (273, 4, 1, 0), (277, 3, 1, 3), (278, 3, 1, 2), (279, 4, 1, len(pixels)),
               (34675, 7, len(profile), 0)]
    ifd_size = 2 + 12 * len(entries) + 4
    bits_at = 8 + ifd_size
    pixels_at = bits_at + 6
    icc_at = pixels_at + len(pixels)
    values = {258: bits_at, 273: pixels_at, 34675: icc_at}
    ifd = struct.pack("<H", len(entries)) + b"".join(
        tiff_entry("<", tag, t, n, values.get(tag, v)) for tag, t, n, v in entries) + struct.pack("<I", 0)
    return b"II" + struct.pack("<HI", 42, 8) + ifd + struct.pack("<HHH", 8, 8, 8) + pixels + profile


def icc_seeds(s):
    adobe, p3 = iccprofiles.adobe_rgb(), iccprofiles.display_p3()
    damaged = {"truncated": iccprofiles.truncated(adobe), "bad_tags": iccprofiles.bad_tag_table(adobe),
               "huge_tag_count": iccprofiles.huge_tag_count(adobe)}
    with open(s.path("jpeg", "baseline.jpg"), "rb") as f:
        jpeg = f.read()
    s.raw("jpeg", "icc.jpg", jpeg_with_icc(jpeg, split(adobe, 1)))
    s.raw("jpeg", "icc_reversed_parts.jpg", jpeg_with_icc(jpeg, split(p3, 3), [2, 0, 1]))
    s.raw("jpeg", "icc_parts_disagree.jpg", jpeg_with_icc(jpeg, [(1, 2, adobe[:300]), (2, 3, adobe[300:])]))
    s.raw("jpeg", "icc_grey_on_rgb.jpg", jpeg_with_icc(jpeg, split(iccprofiles.grey(), 1)))
    with open(s.path("png", "rgb.png"), "rb") as f:
        png = f.read()
    s.raw("png", "icc.png", png_with(png, png_chunk(b"iCCP", b"p3\0\0" + zlib.compress(p3))))
    s.raw("png", "srgb.png", png_with(png, png_chunk(b"sRGB", b"\0")))
    s.raw("tiff", "icc.tif", tiff_rgb_with_icc(adobe))
    for name, profile in damaged.items():
        s.raw("jpeg", "icc_%s.jpg" % name, jpeg_with_icc(jpeg, split(profile, 1)))
        s.raw("png", "icc_%s.png" % name, png_with(png, png_chunk(b"iCCP", b"x\0\0" + zlib.compress(profile))))
        s.raw("tiff", "icc_%s.tif" % name, tiff_rgb_with_icc(profile))
def webp_seeds(s):
    """Lossy and lossless files, alpha in both (the lossy one with a
    compressed alpha plane), metadata chunks, an animation (refused after
    its header) and ours."""
    rgba = os.path.join(s.work, "alpha.png")
    run("convert", s.base, "-alpha", "on", "-channel", "A", "-fx", "i/w", "+channel", rgba)
    for name, opts, src in [("lossy.webp", ["-q", "50"], s.base),
                            ("lossless.webp", ["-lossless"], s.base),
                            ("lossy_alpha.webp", ["-q", "50", "-alpha_q", "50"], rgba),
                            ("lossless_alpha.webp", ["-lossless", "-exact"], rgba),
                            ("segments.webp", ["-q", "90", "-segments", "4", "-sns", "100", "-f", "60"], s.base),
                            ("sharp.webp", ["-q", "70", "-sharp_yuv", "-m", "6"], s.base)]:
        run("cwebp", "-quiet", *opts, src, "-o", s.path("webp", name))
    run("webpmux", "-set", "icc", s.base, s.path("webp", "lossless.webp"), "-o",
        s.path("webp", "icc.webp"))
    run("img2webp", "-lossless", s.path("webp", "lossless.webp"), "-lossy",
        s.path("webp", "lossy.webp"), "-o", s.path("webp", "animated.webp"))
    s.ours("webp", "ours.webp", s.base)
    s.ours("webp", "ours_lossless.webp", s.base, "WebpLossless=true")


def text_seeds(s):
    s.raw("gridfile", "fresh.grd", b"0\r\n200\r\n-\r\n0\r\n300\r\n")
    s.raw("gridfile", "out_of_bounds.grd", b"0\r\n250\r\n-\r\n0\r\n300\r\n")
    s.raw("gridfile", "mixed_ends.grd", b"0\n200\r100\r\n-\n-\n 7\n-5\n2147483647")
    s.raw("gridfile", "bad_line.grd", b"0\r\n\r\nx\r\n")
    s.raw("tags", "tags.txt", b"1\t1\tpage2.html\tmain\tLogo\n\n2\t1\t\t\tSky \"blue\"\n7\t7\tnowhere\n")
    s.raw("tags", "cr_ends.txt", b"1\t2\r-3\t 4\tx\r\n2\t2\ta\tb\tc\td")
    s.raw("gridfile", "bom.grd", b"\xef\xbb\xbf0\r\n200\r\n-\r\n0\r\n300\r\n")
    s.raw("tags", "bom.txt", b"\xef\xbb\xbf1\t1\tpage2.html\tmain\tLogo\n")
    s.raw("cells", "cells.txt", b"# cut.cells\r\nmerge\t1\t1\t2\t1\r\nmerge\t3\t2\t1\t2\r\nskip\t1\t1\r\n"
          b"skip\t2\t3\r\nformat\t1\t2\tpng8\r\nformat\t4\t1\tjpg\t35\r\n")
    s.raw("cells", "newer.txt", b"\xef\xbb\xbfmerge\t2\t1\t3\t3\nhint\t1\t1\tx\n\nskip\t4\t1\rformat\t1\t1\twebp")
    s.raw("cells", "overlap.txt", b"merge\t1\t1\t2\t2\nmerge\t2\t2\t1\t1\n")


def html_seeds(s):
    """A flags byte, then HTML file name, link, target and ALT text of two
    slices, NUL-separated (see fuzz_html.cpp)."""
    seeds = {
        "plain.bin": b"\x00index.html",
        "worked.bin": b"\x07index.html\x00page2.html\x00main\x00Logo\x00\x00\x00Sky",
        "quotes.bin": b"\x04it's #1 caf\xc3\xa9%.html\x00a.html?x=1&y=2\x00_top\x00say \"hi\" <b>"
                      b"\x00\x00\x00t\xc3\xa9st",
        "tokyo.bin": b"\x06\xe6\x9d\xb1\xe4\xba\xac.htm\x00x\x00\x00\x00\x00\x00q\"'<>&",
        "controls.bin": b"\x05tab\tname.html\x00\x00\x00two\r\nlines\x01",
        "latin1.bin": b"\x04caf\xe9.html\x00\x00\x00\xe9t\xe9\x00?#%\x00..\x00&amp;",
    }
    for name, data in seeds.items():
        s.raw("html", name, data)


def alpha_seeds(s):
    """Transparency as the readers keep it: BMP with an alpha mask, TIFF
    with unassociated and associated alpha (colour and grey), TGA with
    alpha bits under run-length coding, interlaced PNG, and our own PNG
    with alpha."""
    rgba = os.path.join(s.work, "alpha_seed.png")
    run("convert", s.base, "-alpha", "on", "-channel", "A", "-fx", "i/w", "+channel", rgba)
    for target, name, opts in [("bmp", "alpha_mask.bmp", []),
                               ("tiff", "alpha_unassociated.tif", ["-compress", "Zip"]),
                               ("tiff", "alpha_associated.tif", ["-define", "tiff:alpha=associated"]),
                               ("tiff", "alpha_grey.tif", ["-colorspace", "Gray"]),
                               ("tga", "alpha_rle.tga", ["-compress", "RLE"]),
                               ("png", "alpha_interlaced.png", ["-interlace", "PNG"])]:
        run("convert", rgba, *opts, s.path(target, name))
    s.ours("png", "alpha_ours.png", rgba)


def union(out, target, sources):
    for src in sources:
        d = os.path.join(out, src)
        for name in sorted(os.listdir(d)):
            shutil.copy(os.path.join(d, name), s_path(out, target, src + "_" + name))


def s_path(out, target, name):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    return os.path.join(out, target, name)


def main():
    cli = os.path.abspath(sys.argv[1])
    out = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(HERE, "corpus")
    with tempfile.TemporaryDirectory() as work:
        s = Seeds(cli, out, work)
        for make in (bmp_seeds, tiff_seeds, tiff_compressed_seeds, pcx_seeds, pnm_seeds, tga_seeds, jpeg_seeds, png_seeds,
                     icc_seeds, webp_seeds, alpha_seeds, text_seeds, html_seeds):
            make(s)
    images = ["bmp", "tiff", "pcx", "pnm", "tga", "jpeg", "png", "webp"]
    union(out, "tiff_count", ["tiff"])
    union(out, "registry", images)
    union(out, "roundtrip", images)


if __name__ == "__main__":
    main()
