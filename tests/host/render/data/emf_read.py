#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads an enhanced metafile from the record layout alone and checks that it holds
together: the header, every record's size, the object handles, path brackets, point
counts and strings. Prints one line per record kind ("count TYPE N"), then one line per
text record ("text ..."), each after a line "halo ..." when the text stands on a halo:
a stroked path of curves, the last thing drawn before it, with a round pen, that holds
the text's reference point. Exits with 1 and a message on the first fault."""
import struct
import sys

NAMES = {1: "HEADER", 5: "POLYBEZIERTO", 6: "POLYLINETO", 9: "SETWINDOWEXTEX", 11: "SETVIEWPORTEXTEX",
         14: "EOF", 17: "SETMAPMODE", 18: "SETBKMODE", 19: "SETPOLYFILLMODE", 22: "SETTEXTALIGN",
         24: "SETTEXTCOLOR", 27: "MOVETOEX", 30: "INTERSECTCLIPRECT", 37: "SELECTOBJECT",
         39: "CREATEBRUSHINDIRECT", 40: "DELETEOBJECT", 54: "LINETO", 58: "SETMITERLIMIT",
         59: "BEGINPATH", 60: "ENDPATH", 61: "CLOSEFIGURE", 62: "FILLPATH", 64: "STROKEPATH",
         67: "SELECTCLIPPATH", 75: "EXTSELECTCLIPRGN", 81: "STRETCHDIBITS", 82: "EXTCREATEFONTINDIRECTW",
         84: "EXTTEXTOUTW", 95: "EXTCREATEPEN"}


def fail(message):
    print("emf_read: " + message, file=sys.stderr)
    sys.exit(1)


def main(path):
    data = open(path, "rb").read()
    if len(data) < 88:
        fail("shorter than a header")
    kind, size = struct.unpack_from("<II", data, 0)
    if kind != 1 or data[40:44] != b" EMF":
        fail("no EMF header")
    n_bytes, n_records, n_handles = struct.unpack_from("<IIH", data, 48)
    if n_bytes != len(data):
        fail("header says %d bytes, the file has %d" % (n_bytes, len(data)))
    counts, texts, objects = {}, [], set()
    window, units_per_pixel = 1, 1
    in_path, path_done = False, False
    pens = {}  # handle -> round pen
    pen = None
    path_curves = False
    last_drawn = None  # ("stroke", box) when a stroke of curves with a round pen came last
    at, records = 0, 0
    while at < len(data):
        if at + 8 > len(data):
            fail("a record runs past the end at %d" % at)
        kind, size = struct.unpack_from("<II", data, at)
        if size < 8 or size % 4 or at + size > len(data):
            fail("record %d at %d has a bad size %d" % (kind, at, size))
        body = data[at:at + size]
        name = NAMES.get(kind, str(kind))
        counts[name] = counts.get(name, 0) + 1
        records += 1
        if kind in (39, 82, 95):  # objects created into a handle
            handle = struct.unpack_from("<I", body, 8)[0]
            if handle == 0 or handle >= n_handles or handle in objects:
                fail("object %d created into a bad or used handle" % handle)
            objects.add(handle)
            if kind == 95:
                style = struct.unpack_from("<I", body, 28)[0]
                width = struct.unpack_from("<I", body, 32)[0]
                # A geometric pen with round joins, and its width.
                pens[handle] = (style & 0x10000 != 0 and style & 0xF000 == 0, width)
        elif kind == 37:
            handle = struct.unpack_from("<I", body, 8)[0]
            if not handle & 0x80000000 and handle not in objects:
                fail("selects object %d, which does not exist" % handle)
            if handle in pens:
                pen = handle
            elif handle == 0x80000008:  # the null pen
                pen = None
        elif kind == 40:
            handle = struct.unpack_from("<I", body, 8)[0]
            if handle not in objects:
                fail("deletes object %d, which does not exist" % handle)
            objects.discard(handle)
        elif kind == 59:
            if in_path:
                fail("a path begins inside a path")
            in_path, path_done = True, False
            path_curves = False
        elif kind == 60:
            if not in_path:
                fail("a path ends that did not begin")
            in_path, path_done = False, True
        elif kind in (62, 64, 67):
            if in_path or not path_done:
                fail("%s without a finished path" % name)
            path_done = False
            if kind == 64 and path_curves and pen is not None and pens[pen][0]:
                # What the stroke covers: its bounds, in device pixels, and half the pen.
                reach = pens[pen][1] / 2 / units_per_pixel
                x0, y0, x1, y1 = struct.unpack_from("<iiii", body, 8)
                last_drawn = ("stroke", (x0 - reach, y0 - reach, x1 + reach, y1 + reach))
            elif kind != 67:
                last_drawn = None
        elif kind in (5, 6):
            count = struct.unpack_from("<I", body, 24)[0]
            if 28 + 8 * count != size or (kind == 5 and count % 3):
                fail("%s with %d points in %d bytes" % (name, count, size))
            path_curves = path_curves or (in_path and kind == 5)
        elif kind == 84:
            chars, offset, _, _, _, _, _, dx = struct.unpack_from("<IIIiiiiI", body, 44)
            if offset + 2 * chars > size or (dx and dx + 4 * chars > size):
                fail("text record's string or spacing runs past it")
            text = body[offset:offset + 2 * chars].decode("utf-16-le")
            if in_path:
                fail("text inside a path bracket: readers leave it out of the path")
            # The reference point, logical units, against the path's bounds in device pixels.
            x, y = struct.unpack_from("<ii", body, 36)
            if last_drawn and last_drawn[0] in ("stroke", "halo"):
                box, units = last_drawn[1], units_per_pixel
                if box and box[0] * units <= x <= box[2] * units and box[1] * units <= y <= box[3] * units:
                    texts.append(("halo", text))
                    last_drawn = ("halo", box)
                else:
                    last_drawn = None
            texts.append(("text", text))
        elif kind in (81,):
            last_drawn = None
        elif kind == 9:
            window = struct.unpack_from("<i", body, 8)[0]
        elif kind == 11:
            viewport = struct.unpack_from("<i", body, 8)[0]
            units_per_pixel = window / viewport if viewport else 1
        elif kind == 14 and at + size != len(data):
            fail("records after the end record")
        at += size
    if records != n_records:
        fail("header says %d records, the file has %d" % (n_records, records))
    if in_path:
        fail("the last path never ends")
    for name in sorted(counts):
        print("count %s %d" % (name, counts[name]))
    for kind, text in texts:
        print(kind + " " + text)


if __name__ == "__main__":
    main(sys.argv[1])
