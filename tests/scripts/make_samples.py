#!/usr/bin/env python3
"""Writes sample files for the file type recognition tests.

usage: make_samples.py DIR

DIR/typed/<TypeName>[~variant].<ext>
    a small, structurally valid file of every type of the shipped signature database; the test
    expects the type <TypeName> to claim it by content, with <ext> as its default extension.
DIR/unclaimed/<name>
    plain text, random bytes and near misses that no type may claim.

Only the standard library is used; every file is the same on every run.
"""

import bz2
import gzip
import io
import lzma
import os
import random
import sqlite3
import struct
import sys
import tarfile
import wave
import zipfile
import zlib


# ---------------------------------------------------------------------------------------------
# Helpers
# ---------------------------------------------------------------------------------------------

def be16(v): return struct.pack(">H", v)
def be32(v): return struct.pack(">I", v)
def le16(v): return struct.pack("<H", v)
def le32(v): return struct.pack("<I", v)


def noise(size, seed):
    return random.Random(seed).randbytes(size)


# ---------------------------------------------------------------------------------------------
# Images
# ---------------------------------------------------------------------------------------------

def jpeg():
    """An 8x8 grey baseline JPEG: one block whose coefficients are all zero."""
    out = bytearray(b"\xFF\xD8")
    out += b"\xFF\xE0" + be16(16) + b"JFIF\x00\x01\x01\x00" + be16(1) + be16(1) + b"\x00\x00"
    out += b"\xFF\xDB" + be16(67) + b"\x00" + bytes([1] * 64)
    out += b"\xFF\xC0" + be16(11) + b"\x08" + be16(8) + be16(8) + b"\x01" + b"\x01\x11\x00"
    # One code of length 1 in each table: DC category 0, AC end of block.
    out += b"\xFF\xC4" + be16(20) + b"\x00" + bytes([1] + [0] * 15) + b"\x00"
    out += b"\xFF\xC4" + be16(20) + b"\x10" + bytes([1] + [0] * 15) + b"\x00"
    out += b"\xFF\xDA" + be16(8) + b"\x01" + b"\x01\x00" + b"\x00\x3F\x00"
    out += b"\x3F"  # DC "0", EOB "0", padded with ones
    out += b"\xFF\xD9"
    return bytes(out)


def png_chunk(kind, data):
    return be32(len(data)) + kind + data + be32(zlib.crc32(kind + data))


def png():
    ihdr = be32(1) + be32(1) + bytes([8, 2, 0, 0, 0])
    idat = zlib.compress(b"\x00\xFF\x80\x00")
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b"")


def gif(version):
    return (version + le16(1) + le16(1) + b"\x80\x00\x00" + b"\x00\x00\x00\xFF\xFF\xFF"
            + b"\x2C" + le16(0) + le16(0) + le16(1) + le16(1) + b"\x00"
            + b"\x02\x02\x44\x01\x00" + b"\x3B")


def bmp(header_size):
    """A 1x1 24-bit bitmap with the given DIB header size (12 = core header)."""
    pixels = b"\x00\x00\xFF\x00"  # one pixel, row padded to 4 bytes
    if header_size == 12:
        dib = le32(12) + le16(1) + le16(1) + le16(1) + le16(24)
    else:
        dib = (le32(header_size) + le32(1) + le32(1) + le16(1) + le16(24) + le32(0)
               + le32(len(pixels)) + le32(2835) + le32(2835) + le32(0) + le32(0))
        dib += bytes(header_size - len(dib))
    offset = 14 + len(dib)
    return b"BM" + le32(offset + len(pixels)) + le32(0) + le32(offset) + dib + pixels


TIFF_ASCII, TIFF_SHORT, TIFF_LONG, TIFF_BYTE = 2, 3, 4, 1


def tiff(order, entries=(), header=None, pixel=b"\x80"):
    """A 1x1 8-bit grey TIFF. entries: extra (tag, type, value) with value bytes or an int."""
    p = "<" if order == "II" else ">"
    first_ifd = 16 if header is not None else 8
    base = [
        (256, TIFF_SHORT, 1), (257, TIFF_SHORT, 1), (258, TIFF_SHORT, 8), (259, TIFF_SHORT, 1),
        (262, TIFF_SHORT, 1), (273, TIFF_LONG, None), (277, TIFF_SHORT, 1), (278, TIFF_LONG, 1),
        (279, TIFF_LONG, len(pixel)),
    ]
    all_entries = sorted(base + list(entries), key=lambda e: e[0])
    ifd_size = 2 + 12 * len(all_entries) + 4
    data_at = first_ifd + ifd_size
    extra = bytearray()
    body = bytearray(struct.pack(p + "H", len(all_entries)))
    pixel_at = None
    fixups = []
    for tag, kind, value in all_entries:
        if tag == 273:
            fixups.append(len(body) + 8)
            body += struct.pack(p + "HHI", tag, kind, 1) + b"\x00\x00\x00\x00"
            continue
        if isinstance(value, int):
            if kind == TIFF_SHORT:
                field = struct.pack(p + "H", value) + b"\x00\x00"
            else:
                field = struct.pack(p + "I", value)
            body += struct.pack(p + "HHI", tag, kind, 1) + field
            continue
        count = len(value) // (2 if kind == TIFF_SHORT else 4 if kind == TIFF_LONG else 1)
        if len(value) <= 4:
            body += struct.pack(p + "HHI", tag, kind, count) + value.ljust(4, b"\x00")
        else:
            body += struct.pack(p + "HHI", tag, kind, count) + struct.pack(p + "I", data_at + len(extra))
            extra += value + (b"\x00" if len(value) % 2 else b"")
    body += struct.pack(p + "I", 0)
    pixel_at = data_at + len(extra)
    for at in fixups:
        body[at:at + 4] = struct.pack(p + "I", pixel_at)
    magic = b"II*\x00" if order == "II" else b"MM\x00*"
    head = magic + struct.pack(p + "I", first_ifd)
    if header is not None:
        head = header(head)
    return head + bytes(body) + bytes(extra) + pixel


def ascii_tag(text):
    return text.encode("ascii") + b"\x00"


def cr2():
    # Canon: "CR", version 2.0 and the offset of the raw directory after the TIFF header.
    return tiff("II", [(271, TIFF_ASCII, ascii_tag("Canon")), (272, TIFF_ASCII, ascii_tag("Canon EOS 5D"))],
                header=lambda h: h + b"CR\x02\x00" + le32(0))


def dng(order, make):
    return tiff(order, [(271, TIFF_ASCII, ascii_tag(make)), (50706, TIFF_BYTE, b"\x01\x04\x00\x00"),
                        (50708, TIFF_ASCII, ascii_tag(make + " camera"))])


def maker_tiff(order, make, model):
    return tiff(order, [(271, TIFF_ASCII, ascii_tag(make)), (272, TIFF_ASCII, ascii_tag(model))])


def orf():
    data = tiff("II", [(271, TIFF_ASCII, ascii_tag("OLYMPUS IMAGING CORP."))])
    return b"IIRO" + data[4:]


def rw2():
    data = tiff("II", [(271, TIFF_ASCII, ascii_tag("Panasonic"))])
    return b"IIU\x00" + data[4:]


def raf():
    head = b"FUJIFILMCCD-RAW 0201FF383501" + b"X-T3".ljust(32, b"\x00")
    return head + bytes(64) + jpeg()


def box(kind, payload):
    return be32(8 + len(payload)) + kind + payload


def ftyp(major, compatible):
    return box(b"ftyp", major + be32(0) + b"".join(compatible))


def mvhd():
    return box(b"mvhd", bytes(4) + be32(0) + be32(0) + be32(1000) + be32(0) + be32(0x00010000)
               + be16(0x0100) + bytes(10)
               + be32(0x00010000) + bytes(12) + be32(0x00010000) + bytes(12) + be32(0x40000000)
               + bytes(24) + be32(2))


def iso_media(major, compatible):
    return ftyp(major, compatible) + box(b"moov", mvhd()) + box(b"mdat", b"\x00" * 16)


def heif(major, compatible):
    hdlr = box(b"hdlr", bytes(4) + be32(0) + b"pict" + bytes(12) + b"\x00")
    meta = box(b"meta", bytes(4) + hdlr)
    return ftyp(major, compatible) + meta + box(b"mdat", b"\x00" * 16)


def webp():
    # Lossless 1x1 image.
    vp8l = b"\x2F\x00\x00\x00\x00\x88\x88\x08\x00"
    chunk = b"VP8L" + le32(len(vp8l)) + vp8l + (b"\x00" if len(vp8l) % 2 else b"")
    return b"RIFF" + le32(4 + len(chunk)) + b"WEBP" + chunk


def psd():
    header = b"8BPS" + be16(1) + bytes(6) + be16(3) + be32(1) + be32(1) + be16(8) + be16(3)
    return header + be32(0) + be32(0) + be32(0) + be16(0) + b"\x10\x20\x30"


def ico(count):
    image = (le32(40) + le32(1) + le32(2) + le16(1) + le16(32) + le32(0) + le32(8) + le32(0) * 4
             + b"\x00\x00\xFF\xFF" + bytes(4))  # 1x1 pixel, then the 1-bit mask row
    directory = b""
    offset = 6 + 16 * count
    for _ in range(count):
        directory += bytes([1, 1, 0, 0]) + le16(1) + le16(32) + le32(len(image)) + le32(offset)
        offset += len(image)
    return le16(0) + le16(1) + le16(count) + directory + image * count


# ---------------------------------------------------------------------------------------------
# Documents
# ---------------------------------------------------------------------------------------------

def pdf(prefix=b""):
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] >>",
    ]
    out = bytearray(prefix + b"%PDF-1.4\n")
    offsets = []
    for i, body in enumerate(objects, 1):
        offsets.append(len(out) - len(prefix))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out) - len(prefix)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def postscript():
    return (b"%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n"
            b"/Helvetica findfont 12 scalefont setfont\n72 72 moveto (Sample) show\nshowpage\n%%EOF\n")


def eps():
    return (b"%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 72 72\n%%EndComments\n"
            b"0 0 moveto 72 72 lineto stroke\n%%EOF\n")


def eps_binary():
    text = eps()
    return b"\xC5\xD0\xD3\xC6" + le32(30) + le32(len(text)) + le32(0) * 4 + b"\xFF\xFF" + text


def rtf():
    return b"{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Times New Roman;}}\\f0\\fs24 Sample text.\\par}\n"


class CompoundFile:
    """Writes an OLE2 compound file (version 3, 512-byte sectors, no mini stream)."""

    FREE, END, FATSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD

    def __init__(self):
        self.entries = []  # (name, is_storage, data, parent index)

    def add(self, name, data=b"", storage=False, parent=0):
        self.entries.append((name, storage, data, parent))
        return len(self.entries)  # directory index (0 is the root)

    @staticmethod
    def sectors(size):
        return (size + 511) // 512

    def build(self, directory_last=False):
        # Streams shorter than 4096 bytes belong in the mini stream; padding keeps them regular.
        datas = [d.ljust(4096, b"\x00") if not s else b"" for _, s, d, _ in self.entries]
        dir_count = 1 + len(self.entries)
        dir_sectors = self.sectors(dir_count * 128)
        data_sectors = sum(self.sectors(len(d)) for d in datas)
        fat_sectors = 1
        while fat_sectors * 128 < fat_sectors + dir_sectors + data_sectors:
            fat_sectors += 1
        fat = [self.FATSECT] * fat_sectors
        layout = []

        def chain(n):
            start = len(fat)
            for i in range(n):
                fat.append(start + i + 1 if i < n - 1 else self.END)
            return start

        if not directory_last:
            dir_start = chain(dir_sectors)
        starts = []
        for d in datas:
            starts.append(chain(self.sectors(len(d))) if d else self.END)
        if directory_last:
            dir_start = chain(dir_sectors)
        fat += [self.FREE] * (fat_sectors * 128 - len(fat))

        # Directory: children of each storage chained as right siblings, all black.
        children = {}
        for i, (_, _, _, parent) in enumerate(self.entries, 1):
            children.setdefault(parent, []).append(i)

        def key(i):
            name = self.entries[i - 1][0]
            return (len(name), name.upper())

        for k in children:
            children[k].sort(key=key)
        right = {}
        for kids in children.values():
            for a, b in zip(kids, kids[1:]):
                right[a] = b

        def entry(name, kind, child, right_id, start, size):
            raw = name.encode("utf-16-le") + b"\x00\x00"
            return (raw.ljust(64, b"\x00") + le16(len(raw)) + bytes([kind, 1])
                    + le32(self.FREE) + le32(right_id) + le32(child) + bytes(16) + le32(0)
                    + bytes(16) + le32(start) + le32(size) + le32(0))

        directory = entry("Root Entry", 5, children.get(0, [self.FREE])[0], self.FREE, self.END, 0)
        for i, (name, storage, data, _) in enumerate(self.entries, 1):
            child = children.get(i, [self.FREE])[0] if storage else self.FREE
            directory += entry(name, 1 if storage else 2, child, right.get(i, self.FREE),
                               0 if storage else starts[i - 1], 0 if storage else len(datas[i - 1]))
        directory = directory.ljust(dir_sectors * 512, b"\x00")

        header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(16) + le16(0x3E) + le16(3) + le16(0xFFFE)
                  + le16(9) + le16(6) + bytes(6) + le32(0) + le32(fat_sectors) + le32(dir_start)
                  + le32(0) + le32(4096) + le32(self.END) + le32(0) + le32(self.END) + le32(0))
        difat = list(range(fat_sectors)) + [self.FREE] * (109 - fat_sectors)
        header += b"".join(le32(v) for v in difat)
        body = b"".join(le32(v) for v in fat)
        parts = []
        if not directory_last:
            parts.append(directory)
        parts += [d.ljust(self.sectors(len(d)) * 512, b"\x00") for d in datas if d]
        if directory_last:
            parts.append(directory)
        return header + body + b"".join(parts)


def word_stream(size=4096):
    fib = le16(0xA5EC) + le16(193) + bytes(28)
    return (fib + b"Sample text.").ljust(size, b"\x00")


def biff8_workbook():
    bof = le16(0x0809) + le16(16) + le16(0x0600) + le16(0x0005) + le16(0) + le16(0) + le32(0) + le32(0)
    eof = le16(0x000A) + le16(0)
    return bof + eof


def ole_doc(big=False):
    cf = CompoundFile()
    cf.add("WordDocument", word_stream(300 * 1024 if big else 4096))
    cf.add("1Table", b"\x00" * 64)
    return cf.build(directory_last=big)


def ole_doc_with_chart():
    # A Word document with an embedded chart storage that holds a "Workbook" stream of its own.
    cf = CompoundFile()
    cf.add("WordDocument", word_stream())
    cf.add("1Table", b"\x00" * 64)
    pool = cf.add("ObjectPool", storage=True)
    obj = cf.add("_1234567890", storage=True, parent=pool)
    cf.add("Workbook", biff8_workbook(), parent=obj)
    return cf.build()


def ole_xls(name="Workbook"):
    cf = CompoundFile()
    cf.add(name, biff8_workbook())
    return cf.build()


def ole_ppt():
    cf = CompoundFile()
    cf.add("PowerPoint Document", le16(0x000F) + le16(0x03E8) + le32(0))
    cf.add("Current User", le32(0) + le32(0xF3D1C4DF))
    return cf.build()


def zip_bytes(members, compression=zipfile.ZIP_DEFLATED):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, *how in members:
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = how[0] if how else compression
            z.writestr(info, data)
    return buf.getvalue()


CT_HEAD = b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'


def content_types(main_part, main_type):
    return (CT_HEAD + b'<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            b'<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            b'<Default Extension="xml" ContentType="application/xml"/>'
            b'<Override PartName="/' + main_part + b'" ContentType="' + main_type + b'"/></Types>')


def package_rels(main_part):
    return (CT_HEAD + b'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            b'<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
            b'relationships/officeDocument" Target="' + main_part + b'"/></Relationships>')


def docx(types_last=False, media=0):
    part = b"word/document.xml"
    members = [
        ("[Content_Types].xml", content_types(part, b"application/vnd.openxmlformats-officedocument."
                                                    b"wordprocessingml.document.main+xml")),
        ("_rels/.rels", package_rels(part)),
        ("word/document.xml", CT_HEAD + b'<w:document xmlns:w="http://schemas.openxmlformats.org/'
                                        b'wordprocessingml/2006/main"><w:body><w:p><w:r><w:t>Sample</w:t>'
                                        b'</w:r></w:p></w:body></w:document>'),
    ]
    if media:
        # Large, incompressible media stored ahead of the document parts.
        members.insert(0, ("word/media/image1.jpg", noise(media, 7), zipfile.ZIP_STORED))
    if types_last:
        members.append(members.pop(1 if media else 0))
    return zip_bytes(members)


def xlsx():
    part = b"xl/workbook.xml"
    return zip_bytes([
        ("[Content_Types].xml", content_types(part, b"application/vnd.openxmlformats-officedocument."
                                                    b"spreadsheetml.sheet.main+xml")),
        ("_rels/.rels", package_rels(part)),
        ("xl/workbook.xml", CT_HEAD + b'<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/'
                                      b'2006/main"><sheets/></workbook>'),
    ])


def pptx():
    part = b"ppt/presentation.xml"
    return zip_bytes([
        ("[Content_Types].xml", content_types(part, b"application/vnd.openxmlformats-officedocument."
                                                    b"presentationml.presentation.main+xml")),
        ("_rels/.rels", package_rels(part)),
        ("ppt/presentation.xml", CT_HEAD + b'<p:presentation xmlns:p="http://schemas.openxmlformats.org/'
                                           b'presentationml/2006/main"/>'),
        # A chart's embedded workbook: the name must not make the package a spreadsheet.
        ("ppt/embeddings/Microsoft_Excel_Worksheet.xlsx", xlsx(), zipfile.ZIP_STORED),
    ])


def opendocument(mime):
    manifest = (b'<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest='
                b'"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"><manifest:file-entry '
                b'manifest:full-path="/" manifest:media-type="' + mime + b'"/></manifest:manifest>')
    return zip_bytes([
        ("mimetype", mime, zipfile.ZIP_STORED),
        ("content.xml", b'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content xmlns:office='
                        b'"urn:oasis:names:tc:opendocument:xmlns:office:1.0"/>'),
        ("META-INF/manifest.xml", manifest),
    ])


def epub():
    return zip_bytes([
        ("mimetype", b"application/epub+zip", zipfile.ZIP_STORED),
        ("META-INF/container.xml", b'<?xml version="1.0"?>\n<container version="1.0" xmlns="urn:oasis:'
                                   b'names:tc:opendocument:xmlns:container"><rootfiles><rootfile full-path='
                                   b'"content.opf" media-type="application/oebps-package+xml"/></rootfiles>'
                                   b'</container>'),
        ("content.opf", b'<?xml version="1.0"?>\n<package xmlns="http://www.idpf.org/2007/opf" '
                        b'version="3.0"/>'),
    ])


# ---------------------------------------------------------------------------------------------
# Archives
# ---------------------------------------------------------------------------------------------

def plain_zip():
    return zip_bytes([("readme.txt", b"Sample archive.\n"), ("data/values.csv", b"a,b\n1,2\n")])


def empty_zip():
    return b"PK\x05\x06" + bytes(18)


def rar4():
    def block(kind, flags, extra=b""):
        rest = bytes([kind]) + le16(flags) + le16(7 + len(extra)) + extra
        return le16(zlib.crc32(rest) & 0xFFFF) + rest
    return b"Rar!\x1A\x07\x00" + block(0x73, 0, le16(0) + le32(0)) + block(0x7B, 0x4000)


def vint(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def rar5():
    def header(fields):
        data = vint(len(fields)) + fields
        return le32(zlib.crc32(data)) + data
    main = header(vint(1) + vint(0) + vint(0))
    end = header(vint(5) + vint(0) + vint(0))
    return b"Rar!\x1A\x07\x01\x00" + main + end


def seven_zip():
    tail = struct.pack("<QQI", 0, 0, 0)
    return b"7z\xBC\xAF\x27\x1C\x00\x04" + le32(zlib.crc32(tail)) + tail


def gzip_file():
    return gzip.compress(b"Sample text.\n" * 20, mtime=0)


def tar_file():
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.USTAR_FORMAT) as t:
        data = b"Sample text.\n"
        info = tarfile.TarInfo("readme.txt")
        info.size, info.mtime = len(data), 0
        t.addfile(info, io.BytesIO(data))
    return buf.getvalue()


# ---------------------------------------------------------------------------------------------
# Audio and video
# ---------------------------------------------------------------------------------------------

def mp3_frames(header, count=3):
    # 128 kbit/s at 44.1 kHz (MPEG 1) has 417-byte frames; the other versions use their own sizes.
    size = 417 if header[1] in (0xFB, 0xFA) else 208
    return (header + bytes(size - 4)) * count


def id3_tag():
    frame = b"TIT2" + be32(8) + b"\x00\x00" + b"\x00Sample\x00"
    return b"ID3\x03\x00\x00" + bytes([0, 0, 0, len(frame)]) + frame


def wav():
    buf = io.BytesIO()
    with wave.open(buf, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"\x00\x00" * 800)
    return buf.getvalue()


def riff_chunk(kind, data):
    return kind + le32(len(data)) + data + (b"\x00" if len(data) % 2 else b"")


def riff_list(kind, data):
    return riff_chunk(b"LIST", kind + data)


def avi():
    avih = le32(40000) + le32(0) + le32(0) + le32(0x10) + le32(1) + le32(0) + le32(1) + le32(0) \
        + le32(1) + le32(1) + bytes(16)
    strh = b"vids" + b"DIB " + le32(0) + le16(0) + le16(0) + le32(0) + le32(1) + le32(25) + le32(0) \
        + le32(1) + le32(4) + le32(0xFFFFFFFF) + le32(0) + bytes(8)
    strf = le32(40) + le32(1) + le32(1) + le16(1) + le16(32) + le32(0) + le32(4) + bytes(16)
    hdrl = riff_list(b"hdrl", riff_chunk(b"avih", avih) + riff_list(b"strl", riff_chunk(b"strh", strh)
                                                                        + riff_chunk(b"strf", strf)))
    movi = riff_list(b"movi", riff_chunk(b"00db", b"\x00\x00\xFF\x00"))
    idx1 = riff_chunk(b"idx1", b"00db" + le32(0x10) + le32(4) + le32(4))
    body = b"AVI " + hdrl + movi + idx1
    return b"RIFF" + le32(len(body)) + body


def ebml_id(value):
    return value.to_bytes((value.bit_length() + 7) // 8, "big")


def ebml(element, payload):
    size = len(payload)
    return ebml_id(element) + bytes([0x80 | size]) + payload if size < 127 else \
        ebml_id(element) + b"\x40" + bytes([0, 0]) + payload  # never used for larger payloads


def matroska(doctype):
    header = ebml(0x1A45DFA3, ebml(0x4286, b"\x01") + ebml(0x42F7, b"\x01") + ebml(0x42F2, b"\x04")
                  + ebml(0x42F3, b"\x08") + ebml(0x4282, doctype) + ebml(0x4287, b"\x04")
                  + ebml(0x4285, b"\x02"))
    info = ebml(0x1549A966, ebml(0x2AD7B1, b"\x0F\x42\x40") + ebml(0x4D80, b"sample"))
    return header + ebml(0x18538067, info)


def flac():
    # STREAMINFO (last metadata block): 4096-sample blocks, 44.1 kHz, mono, 16 bits, no frames.
    info = be16(4096) + be16(4096) + bytes(3) + bytes(3)
    info += ((44100 << 44) | (0 << 41) | (15 << 36) | 0).to_bytes(8, "big") + bytes(16)
    return b"fLaC" + b"\x80" + len(info).to_bytes(3, "big") + info


def ogg_crc(data):
    crc = 0
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def ogg_page(packet, sequence, flags):
    lacing = bytes([255] * (len(packet) // 255) + [len(packet) % 255])
    page = (b"OggS\x00" + bytes([flags]) + struct.pack("<qII", 0, 0x5A4D, sequence) + le32(0)
            + bytes([len(lacing)]) + lacing + packet)
    return page[:22] + le32(ogg_crc(page)) + page[26:]


def ogg():
    head = b"OpusHead" + bytes([1, 1]) + le16(312) + le32(48000) + le16(0) + b"\x00"
    tags = b"OpusTags" + le32(6) + b"sample" + le32(0)
    return ogg_page(head, 0, 0x02) + ogg_page(tags, 1, 0x04)


def guid(text):
    a, b, c, d, e = text.split("-")
    return struct.pack("<IHH", int(a, 16), int(b, 16), int(c, 16)) + bytes.fromhex(d + e)


ASF_HEADER = guid("75B22630-668E-11CF-A6D9-00AA0062CE6C")
ASF_STREAM_PROPERTIES = guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365")
ASF_FILE_PROPERTIES = guid("8CABDCA1-A947-11CF-8EE4-00C00C205365")
ASF_DATA = guid("75B22636-668E-11CF-A6D9-00AA0062CE6C")
ASF_AUDIO = guid("F8699E40-5B4D-11CF-A8FD-00805F5C442B")
ASF_VIDEO = guid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B")
ASF_NO_CORRECTION = guid("20FB5700-5B55-11CF-A8FD-00805F5C442B")


def asf_object(kind, payload):
    return kind + struct.pack("<Q", 24 + len(payload)) + payload


def asf(stream_types):
    objects = [asf_object(ASF_FILE_PROPERTIES, bytes(16) + struct.pack("<QQQQQQIIII", 0, 0, 0, 0, 0, 0, 2,
                                                                         3200, 3200, 128000))]
    for number, kind in enumerate(stream_types, 1):
        specific = bytes(18)
        objects.append(asf_object(ASF_STREAM_PROPERTIES, kind + ASF_NO_CORRECTION + struct.pack("<QII", 0, 18, 0)
                                  + le16(number) + le32(0) + specific))
    body = b"".join(objects)
    header = asf_object(ASF_HEADER, le32(len(objects)) + b"\x01\x02" + body)
    data = asf_object(ASF_DATA, bytes(16) + struct.pack("<Q", 0) + b"\x01\x01")
    return header + data


def midi():
    track = b"\x00\xFF\x51\x03\x07\xA1\x20" + b"\x00\x90\x3C\x40" + b"\x60\x80\x3C\x40" + b"\x00\xFF\x2F\x00"
    return b"MThd" + be32(6) + be16(0) + be16(1) + be16(96) + b"MTrk" + be32(len(track)) + track


def amr():
    return b"#!AMR\n" + b"\x3C" + bytes(31)  # one 12.2 kbit/s frame of silence


def mpeg_ps():
    pack = b"\x00\x00\x01\xBA" + bytes([0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, 0xF8])
    pes = b"\x00\x00\x01\xE0" + be16(8) + b"\x80\x00\x00" + b"\x00\x00\x01\xB7\x00"
    return pack + pes + b"\x00\x00\x01\xB9"


def ts_packets():
    pat_section = b"\x00\xB0\x0D\x00\x01\xC1\x00\x00\x00\x01\xF0\x00"
    pat_section += be32(zlib.crc32(pat_section))  # placeholder checksum: content is not decoded
    pat = (b"\x47\x40\x00\x10\x00" + pat_section).ljust(188, b"\xFF")
    null = (b"\x47\x1F\xFF\x10").ljust(188, b"\xFF")
    return [pat] + [null] * 5


def transport_stream():
    return b"".join(ts_packets())


def m2ts():
    return b"".join(le32(i * 1000) + p for i, p in enumerate(ts_packets()))


# ---------------------------------------------------------------------------------------------
# Programs
# ---------------------------------------------------------------------------------------------

def pe(stub=b"This program cannot be run in DOS mode.\r\r\n$", pe_at=0x80):
    """A 32-bit Windows program with one section holding a single "ret"."""
    dos = (b"MZ" + le16(0x90) + le16(3) + le16(0) + le16(4) + le16(0) + le16(0xFFFF) + le16(0)
           + le16(0xB8) + le16(0) + le16(0) + le16(0) + le16(0x40) + le16(0)).ljust(0x3C, b"\x00")
    dos += le32(pe_at)
    dos += b"\x0E\x1F\xBA\x0E\x00\xB4\x09\xCD\x21\xB8\x01\x4C\xCD\x21" + stub
    dos = dos.ljust(pe_at, b"\x00")
    headers_size = (pe_at + 4 + 20 + 224 + 40 + 0x1FF) // 0x200 * 0x200
    optional = (le16(0x10B) + bytes(14) + le32(0x1000) + bytes(8) + le32(0x400000) + le32(0x1000)
                + le32(0x200) + le16(4) + bytes(6) + le16(4) + bytes(2) + bytes(4) + le32(0x2000)
                + le32(headers_size) + bytes(4) + le16(2) + bytes(2) + le32(0x100000) + le32(0x1000)
                + le32(0x100000) + le32(0x1000) + bytes(4) + le32(16) + bytes(128))
    coff = le16(0x14C) + le16(1) + bytes(12) + le16(len(optional)) + le16(0x0102)
    section = (b".text\x00\x00\x00" + le32(1) + le32(0x1000) + le32(0x200) + le32(headers_size) + bytes(12)
               + le32(0x60000020))
    headers = (dos + b"PE\x00\x00" + coff + optional + section).ljust(headers_size, b"\x00")
    return headers + b"\xC3".ljust(0x200, b"\x00")


def elf():
    # A 64-bit x86-64 executable whose entry point calls exit(0).
    code = b"\x31\xFF\xB8\x3C\x00\x00\x00\x0F\x05"
    base, header_size, ph_size = 0x400000, 64, 56
    entry = base + header_size + ph_size
    total = header_size + ph_size + len(code)
    ehdr = (b"\x7FELF\x02\x01\x01\x00" + bytes(8) + le16(2) + le16(0x3E) + le32(1)
            + struct.pack("<QQQ", entry, header_size, 0) + le32(0) + le16(header_size) + le16(ph_size)
            + le16(1) + le16(64) + le16(0) + le16(0))
    phdr = le32(1) + le32(5) + struct.pack("<QQQQQQ", 0, base, base, total, total, 0x1000)
    return ehdr + phdr + code


# ---------------------------------------------------------------------------------------------
# Text formats, fonts, databases
# ---------------------------------------------------------------------------------------------

HTML5 = b"""<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>Sample</title></head>
<body><p>Sample page.</p></body>
</html>
"""

HTML_OLD = b"""<HTML>
<HEAD><TITLE>Sample</TITLE></HEAD>
<BODY BGCOLOR="#FFFFFF">Sample page.</BODY>
</HTML>
"""

HTML_INLINE_SVG = b"""<!doctype html>
<html><body>
<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"><rect width="10" height="10"/></svg>
</body></html>
"""

XHTML = b"""<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>Sample</title></head><body/></html>
"""

SVG_DECL = b"""<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">
  <circle cx="5" cy="5" r="4" fill="red"/>
</svg>
"""

SVG_BARE = b"""<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 10 10"><rect width="10" height="10"/></svg>
"""

XML_PLAIN = b"""<?xml version="1.0" encoding="UTF-8"?>
<catalog><book id="1"><title>Sample</title></book></catalog>
"""


def xml_utf16():
    return b"\xFF\xFE" + XML_PLAIN.decode("ascii").encode("utf-16-le")


def sfnt(version, tables):
    """A font file with the given tables (tag -> data) and a correct table directory."""
    tags = sorted(tables)
    count = len(tags)
    power = 1
    while power * 2 <= count:
        power *= 2
    header = version + be16(count) + be16(power * 16) + be16(power.bit_length() - 1) + be16(count * 16 - power * 16)
    offset = 12 + 16 * count
    directory, data = b"", b""
    for tag in tags:
        body = tables[tag]
        padded = body.ljust((len(body) + 3) // 4 * 4, b"\x00")
        checksum = sum(struct.unpack(">%dI" % (len(padded) // 4), padded)) & 0xFFFFFFFF
        directory += tag + be32(checksum) + be32(offset + len(data)) + be32(len(body))
        data += padded
    return header + directory + data


def font_tables(outlines):
    head = (be32(0x00010000) + be32(0x00010000) + be32(0) + be32(0x5F0F3CF5) + be16(0x000B) + be16(1000)
            + bytes(16) + be16(0) * 4 + be16(0) + be16(8) + be16(2) + be16(0) + be16(0))
    hhea = be32(0x00010000) + be16(800) + be16(0xFF38) + be16(0) + be16(500) + bytes(22) + be16(0) + be16(1)
    maxp = be32(0x00005000) + be16(1)
    cmap = be16(0) + be16(1) + be16(3) + be16(1) + be32(12) + be16(4) + be16(24) + be16(0) + be16(2) \
        + be16(2) + be16(0) + be16(0) + be16(0xFFFF) + be16(0) + be16(0xFFFF) + be16(1) + be16(0)
    name = be16(0) + be16(0) + be16(6)
    post = be32(0x00030000) + bytes(28)
    os2 = be16(4) + bytes(94)
    tables = {b"head": head, b"hhea": hhea, b"maxp": maxp, b"cmap": cmap, b"name": name,
              b"post": post, b"OS/2": os2, b"hmtx": be16(500) + be16(0)}
    tables.update(outlines)
    return tables


def ttf(version=b"\x00\x01\x00\x00"):
    return sfnt(version, font_tables({b"glyf": b"", b"loca": be16(0) + be16(0)}))


def otf():
    return sfnt(b"OTTO", font_tables({b"CFF ": b"\x01\x00\x04\x01"}))


def sqlite(path):
    con = sqlite3.connect(path)
    con.execute("CREATE TABLE photos (id INTEGER PRIMARY KEY, name TEXT)")
    con.execute("INSERT INTO photos (name) VALUES ('sample.jpg')")
    con.commit()
    con.close()


# ---------------------------------------------------------------------------------------------
# The files
# ---------------------------------------------------------------------------------------------

TYPED = {
    "JPEG.jpg": jpeg,
    "PNG.png": png,
    "GIF.gif": lambda: gif(b"GIF89a"),
    "GIF~87a.gif": lambda: gif(b"GIF87a"),
    "Bitmap.bmp": lambda: bmp(40),
    "Bitmap~core.bmp": lambda: bmp(12),
    "Bitmap~v5.bmp": lambda: bmp(124),
    "TIFF.tif": lambda: tiff("II"),
    "TIFF~motorola.tif": lambda: tiff("MM"),
    "TIFF~scanner.tif": lambda: maker_tiff("II", "Nikon", "Nikon SUPER COOLSCAN 5000 ED"),
    "WEBP.webp": webp,
    "HEIC.heic": lambda: heif(b"heic", [b"mif1", b"heic"]),
    "HEIC~mif1.heic": lambda: heif(b"mif1", [b"mif1", b"heic"]),
    "AVIF.avif": lambda: heif(b"avif", [b"avif", b"mif1", b"miaf"]),
    "PSD.psd": psd,
    "ICO.ico": lambda: ico(1),
    "ICO~three.ico": lambda: ico(3),
    "CR2.cr2": cr2,
    "CR3.cr3": lambda: iso_media(b"crx ", [b"crx ", b"isom"]),
    "NikonNef.nef": lambda: maker_tiff("MM", "NIKON CORPORATION", "NIKON D750"),
    "ARW.arw": lambda: maker_tiff("II", "SONY", "ILCE-7M3"),
    "AdobeDNG.dng": lambda: dng("II", "Canon"),
    "AdobeDNG~motorola.dng": lambda: dng("MM", "Leica"),
    "AdobeDNG~nikon.dng": lambda: dng("II", "NIKON CORPORATION"),
    "AdobeDNG~sony.dng": lambda: dng("II", "SONY"),
    "PentaxPef.pef": lambda: maker_tiff("MM", "PENTAX", "PENTAX K-5"),
    "ORF.orf": orf,
    "RW2.rw2": rw2,
    "RAF.raf": raf,
    "PDF.pdf": pdf,
    "PDF~junk.pdf": lambda: pdf(b"\r\n\r\nGarbage before the header.\n"),
    "PostScript.ps": postscript,
    "EPSF.eps": eps,
    "EPSF~binary.eps": eps_binary,
    "RTF.rtf": rtf,
    "DocOle.doc": ole_doc,
    "DocOle~big.doc": lambda: ole_doc(big=True),
    "DocOle~chart.doc": ole_doc_with_chart,
    "XlsOle.xls": ole_xls,
    "XlsOle~excel95.xls": lambda: ole_xls("Book"),
    "PptOle.ppt": ole_ppt,
    "DOCX.docx": docx,
    "DOCX~typeslast.docx": lambda: docx(types_last=True, media=300 * 1024),
    "Xlsx.xlsx": xlsx,
    "Pptx.pptx": pptx,
    "ODT.odt": lambda: opendocument(b"application/vnd.oasis.opendocument.text"),
    "ODS.ods": lambda: opendocument(b"application/vnd.oasis.opendocument.spreadsheet"),
    "ODP.odp": lambda: opendocument(b"application/vnd.oasis.opendocument.presentation"),
    "EPUB.epub": epub,
    "ZipArchive.zip": plain_zip,
    "ZipArchive~empty.zip": empty_zip,
    "RAR.rar": rar4,
    "RAR~v5.rar": rar5,
    "7Z.7z": seven_zip,
    "GZIP.gz": gzip_file,
    "BZIP2.bz2": lambda: bz2.compress(b"Sample text.\n" * 20),
    "BZIP2~empty.bz2": lambda: bz2.compress(b""),
    "XZ.xz": lambda: lzma.compress(b"Sample text.\n" * 20),
    "TAR.tar": tar_file,
    "MP3.mp3": lambda: id3_tag() + mp3_frames(b"\xFF\xFB\x90\x64"),
    "MP3~sync.mp3": lambda: mp3_frames(b"\xFF\xFB\x90\x64"),
    "MP3~mpeg2.mp3": lambda: mp3_frames(b"\xFF\xF3\x90\x64"),
    "WAV.wav": wav,
    "AVI.avi": avi,
    "MP4Video.mp4": lambda: iso_media(b"isom", [b"isom", b"iso2", b"avc1", b"mp41"]),
    "MP4Video~mp42.mp4": lambda: iso_media(b"mp42", [b"mp42", b"isom"]),
    "MOV.mov": lambda: iso_media(b"qt  ", [b"qt  "]),
    "MOV~classic.mov": lambda: box(b"moov", mvhd()) + box(b"mdat", bytes(16)),
    "M4A.m4a": lambda: iso_media(b"M4A ", [b"M4A ", b"mp42", b"isom"]),
    "3GP.3gp": lambda: iso_media(b"3gp4", [b"isom", b"3gp4"]),
    "MKV.mkv": lambda: matroska(b"matroska"),
    "WEBM.webm": lambda: matroska(b"webm"),
    "FLAC.flac": flac,
    "OGG.ogg": ogg,
    "WindowsMediaAudio.wma": lambda: asf([ASF_AUDIO]),
    "WindowsMediaVideo.wmv": lambda: asf([ASF_AUDIO, ASF_VIDEO]),
    "ASFStream.asf": lambda: asf([]),
    "MIDI.mid": midi,
    "AMR.amr": amr,
    "MPG.mpg": mpeg_ps,
    "TS.ts": transport_stream,
    "M2TS.mts": m2ts,
    "EXE.exe": pe,
    "EXE~farpe.exe": lambda: pe(pe_at=0x600),
    "EXE~borland.exe": lambda: pe(stub=b"This program must be run under Win32\r\n$", pe_at=0x600),
    "ELF.elf": elf,
    "HtmlDocument.html": lambda: HTML5,
    "HtmlDocument~old.html": lambda: HTML_OLD,
    "HtmlDocument~inlinesvg.html": lambda: HTML_INLINE_SVG,
    "HtmlDocument~xhtml.html": lambda: XHTML,
    "XML.xml": lambda: XML_PLAIN,
    "XML~bom.xml": lambda: b"\xEF\xBB\xBF" + XML_PLAIN,
    "XML~utf16.xml": xml_utf16,
    "SVG.svg": lambda: SVG_DECL,
    "SVG~bare.svg": lambda: SVG_BARE,
    "TTF.ttf": ttf,
    "OTF.otf": otf,
    "SQLITE.sqlite": None,  # written by sqlite3 itself
}

PROSE = (b"The card was formatted by mistake last week. Everything on it - the holiday photos, a few\n"
         b"videos and the spreadsheet with the expenses - seemed lost until the recovery finished.\n")

UNCLAIMED = {
    "empty.txt": b"",
    "one-byte.bin": b"\xFF",
    "prose.txt": PROSE * 40,
    "utf8.txt": ("Grüße aus Köln – naïve café, 東京, Ελληνικά.\n" * 30).encode("utf-8"),
    "utf16.txt": b"\xFF\xFE" + ("Plain UTF-16 text without markup.\r\n" * 30).encode("utf-16-le"),
    "values.csv": b"date,amount,description\n" + b"".join(b"2024-01-%02d,%d.50,item %d\n" % (d, d * 3, d)
                                                          for d in range(1, 29)),
    "config.ini": b"[Main]\nItems=JPEG,ZIP\n\n[JPEG]\nFileExtensions=jpg\n",
    "source.c": b"#include <stdio.h>\n\nint main(void) {\n    printf(\"hello\\n\");\n    return 0;\n}\n",
    "notes.md": b"# Notes\n\nPhotos are saved as *JPEG*, archives as *ZIP* (PK header) and movies as MP4.\n",
    "data.json": b'{"name": "sample", "values": [1, 2, 3], "nested": {"ok": true}}\n',
    "script.sh": b"#!/bin/sh\necho 'MZ is not an executable here'\n",
    "log.txt": b"".join(b"2024-05-01 12:00:%02d INFO read sector %d\n" % (i % 60, i * 8) for i in range(200)),
    "zeros.bin": bytes(4096),
    "ones.bin": b"\xFF" * 4096,
    "riff-unknown.bin": b"RIFF" + le32(12) + b"XXXX" + bytes(8),
    "ftyp-less.bin": be32(16) + b"free" + bytes(8),
    "ole-without-office-streams.bin": None,  # an OLE2 file holding only an unrelated stream
    "zip-looking-text.txt": b"This text mentions PK and word/document.xml and [Content_Types].xml.\n",
    "mz-text.txt": b"MZ was here.\n" + PROSE,
    "bm-text.txt": b"BM " + PROSE,
}


def unclaimed_ole():
    cf = CompoundFile()
    cf.add("Contents", b"no office streams here")
    return cf.build()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    typed = os.path.join(root, "typed")
    unclaimed = os.path.join(root, "unclaimed")
    os.makedirs(typed, exist_ok=True)
    os.makedirs(unclaimed, exist_ok=True)
    for name, make in TYPED.items():
        path = os.path.join(typed, name)
        if make is None:
            if os.path.exists(path):
                os.remove(path)
            sqlite(path)
            continue
        with open(path, "wb") as f:
            f.write(make())
    for name, data in UNCLAIMED.items():
        if data is None:
            data = unclaimed_ole()
        with open(os.path.join(unclaimed, name), "wb") as f:
            f.write(data)
    for seed, size in ((1, 16), (2, 600), (3, 4096), (4, 70000), (5, 300 * 1024)):
        with open(os.path.join(unclaimed, "random-%d.bin" % seed), "wb") as f:
            f.write(noise(size, seed))


if __name__ == "__main__":
    main()
