#!/usr/bin/env python3
"""Reads a Windows DLL's version record and one dialog template from its resources, without
running it, and prints them one "name=value" line each (UTF-8), for the Windows stage's file
checks on any machine.

    pe_resources.py FILE [DIALOG-ID]

The version lines are those Explorer's properties show: the fixed numbers, the first translation
and the strings of its StringFileInfo table. The dialog lines give the extended template (DIALOGEX)
field by field, its font and each control. Exit status 1 when the file is no PE file or lacks the
version record or the dialog.
"""
import struct
import sys

RT_DIALOG = 5
RT_VERSION = 16


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.format = {0x10B: "PE32", 0x20B: "PE32+"}.get(magic, hex(magic))
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("address %#x in no section" % rva)

    def _entries(self, directory):
        base = self.offset(self.resource_rva)
        named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
            yield name, target

    def resource(self, type_id, name_id):
        """(language, bytes) of the first language of resource type_id/name_id, or None."""
        base = self.offset(self.resource_rva)
        for t, t_dir in self._entries(0):
            if t != type_id:
                continue
            for n, n_dir in self._entries(t_dir & 0x7FFFFFFF):
                if n != name_id:
                    continue
                for language, leaf in self._entries(n_dir & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    return language, self.data[start:start + size]
        return None


def utf16z(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def align4(at):
    return (at + 3) & ~3


def version_blocks(data, at, end):
    """Yields (key, value bytes, children start, block end) of the blocks between at and end."""
    while at < end:
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        if length == 0:
            break
        key, value_at = utf16z(data, at + 6)
        value_at = align4(value_at)
        size = value_length * 2 if kind == 1 else value_length
        yield key, data[value_at:value_at + size], align4(value_at + size), at + length
        at = align4(at + length)


def version_record(raw):
    lines = []
    (key, fixed, children, end), = version_blocks(raw, 0, len(raw))
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        raise ValueError("no VS_VERSION_INFO")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    numbers = lambda ms, ls: "%d,%d,%d,%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    lines.append("FileVersionNumbers=" + numbers(file_ms, file_ls))
    lines.append("ProductVersionNumbers=" + numbers(product_ms, product_ls))
    strings = {}
    translation = None
    for key, _, child_at, child_end in version_blocks(raw, children, end):
        if key == "VarFileInfo":
            for var, value, _, _ in version_blocks(raw, child_at, child_end):
                if var == "Translation" and len(value) >= 4:
                    language, codepage = struct.unpack_from("<HH", value)
                    translation = "%04x%04x" % (language, codepage)
        elif key == "StringFileInfo":
            for table, _, table_at, table_end in version_blocks(raw, child_at, child_end):
                strings[table.lower()] = {
                    name: value.decode("utf-16-le").rstrip("\0")
                    for name, value, _, _ in version_blocks(raw, table_at, table_end)}
    if translation is None:
        raise ValueError("no translation")
    lines.append("Translation=" + translation)
    table = strings.get(translation, {})
    for name in ("FileDescription", "FileVersion", "InternalName", "OriginalFilename",
                 "ProductName", "ProductVersion"):
        lines.append("%s=%s" % (name, table.get(name, "(missing)")))
    return lines


def name_or_ordinal(data, at):
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0xFFFF:
        return "#%d" % struct.unpack_from("<H", data, at + 2)[0], at + 4
    if first == 0:
        return "", at + 2
    return utf16z(data, at)


def dialog(language, raw, dialog_id):
    version, signature = struct.unpack_from("<HH", raw)
    if version != 1 or signature != 0xFFFF:
        raise ValueError("dialog %d is no extended template" % dialog_id)
    ex_style, style, items, x, y, cx, cy = struct.unpack_from("<IIHhhhh", raw, 8)
    menu, at = name_or_ordinal(raw, 26)
    window_class, at = name_or_ordinal(raw, at)
    title, at = utf16z(raw, at)
    prefix = "Dialog%d." % dialog_id
    lines = [prefix + "language=%04x" % language,
             prefix + "style=%#010x" % style, prefix + "exstyle=%#010x" % ex_style,
             prefix + "rect=%d,%d,%d,%d" % (x, y, cx, cy), prefix + "menu=" + menu,
             prefix + "class=" + window_class, prefix + "title=" + title,
             prefix + "items=%d" % items]
    if style & 0x40:  # DS_SETFONT
        point_size, weight, italic, charset = struct.unpack_from("<HHBB", raw, at)
        face, at = utf16z(raw, at + 6)
        lines.append(prefix + "font=%d,%d,%d,%d,%s" % (point_size, weight, italic, charset, face))
    for i in range(items):
        at = align4(at)
        _, item_ex_style, item_style, ix, iy, icx, icy, item_id = struct.unpack_from(
            "<IIIhhhhI", raw, at)
        item_class, at = name_or_ordinal(raw, at + 24)
        text, at = name_or_ordinal(raw, at)
        extra = struct.unpack_from("<H", raw, at)[0]
        at += 2 + extra
        item = prefix + "item%d." % i
        lines += [item + "id=%d" % item_id, item + "class=" + item_class,
                  item + "style=%#010x" % item_style, item + "exstyle=%#010x" % item_ex_style,
                  item + "rect=%d,%d,%d,%d" % (ix, iy, icx, icy), item + "text=" + text]
    return lines


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    try:
        with open(argv[1], "rb") as f:
            pe = Pe(f.read())
        lines = ["Format=" + pe.format]
        found = pe.resource(RT_VERSION, 1)
        if found is None:
            raise ValueError("no version record")
        lines += version_record(found[1])
        if len(argv) == 3:
            dialog_id = int(argv[2])
            found = pe.resource(RT_DIALOG, dialog_id)
            if found is None:
                raise ValueError("no dialog %d" % dialog_id)
            lines += dialog(found[0], found[1], dialog_id)
    except (ValueError, struct.error, IndexError, UnicodeDecodeError) as e:
        print("%s: %s" % (argv[1], e))
        return 1
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
