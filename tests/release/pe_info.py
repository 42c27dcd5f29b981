#!/usr/bin/env python3
"""Reads what a Windows program says about itself, without Windows: the PE
header's time stamp and checksum (and whether the checksum fits the bytes),
and the version resource (the fixed FILEVERSION and PRODUCTVERSION numbers
and every string of StringFileInfo).

    pe_info.py PROGRAM.exe      prints NAME=VALUE lines
"""
import struct
import sys

RT_VERSION = 16


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def align4(at):
    return (at + 3) & ~3


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        self.header = u32(data, 0x3C)
        if data[self.header:self.header + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        sections = u16(data, self.header + 6)
        optional_size = u16(data, self.header + 20)
        self.optional = self.header + 24
        magic = u16(data, self.optional)
        directories = self.optional + (96 if magic == 0x10B else 112)
        self.resource_rva = u32(data, directories + 2 * 8)
        table = self.optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def timestamp(self):
        return u32(self.data, self.header + 8)

    def checksum(self):
        return u32(self.data, self.optional + 64)

    def computed_checksum(self):
        """The checksum Windows computes: 16-bit words summed with end-around
        carry, the checksum field itself left out, plus the file's length."""
        data = self.data + b"\0" * (len(self.data) & 1)
        field = self.optional + 64
        total = 0
        for (word,) in struct.iter_unpack("<H", data[:field] + b"\0\0\0\0" + data[field + 4:]):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        return ((total & 0xFFFF) + (total >> 16)) + len(self.data)

    def offset(self, rva):
        for virtual_size, address, raw_size, raw_pointer in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_pointer + rva - address
        raise ValueError("RVA %#x lies in no section" % rva)

    def first_entry(self, directory):
        """The first entry of a resource directory: (is a directory, its offset)."""
        base = self.offset(self.resource_rva)
        at = base + directory
        count = u16(self.data, at + 12) + u16(self.data, at + 14)
        if count == 0:
            raise ValueError("empty resource directory")
        target = u32(self.data, at + 16 + 4)
        return bool(target & 0x80000000), target & 0x7FFFFFFF

    def version_resource(self):
        base = self.offset(self.resource_rva)
        at = base
        count = u16(self.data, at + 12) + u16(self.data, at + 14)
        for i in range(count):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            if name == RT_VERSION and target & 0x80000000:
                _, language = self.first_entry(target & 0x7FFFFFFF)   # the first name (1)
                _, entry = self.first_entry(language)                 # its first language
                rva, size = struct.unpack_from("<II", self.data, base + entry)
                start = self.offset(rva)
                return self.data[start:start + size]
        raise ValueError("no version resource")


def read_node(block, at):
    """One VS_VERSIONINFO node: (key, value bytes, type, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", block, at)
    end = at + length
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[at + 6:key_end].decode("utf-16-le")
    value_at = align4(key_end + 2)
    value_size = value_length * 2 if kind == 1 else value_length
    value = block[value_at:value_at + value_size]
    children = []
    child = align4(value_at + value_size)
    while child < end:
        node = read_node(block, child)
        children.append(node)
        child = align4(node[4])
    return key, value, kind, children, end


def version_fields(block):
    key, fixed, _, children, _ = read_node(block, 0)
    if key != "VS_VERSION_INFO" or u32(fixed, 0) != 0xFEEF04BD:
        raise ValueError("not a VS_VERSIONINFO block")
    numbers = lambda high, low: "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
    fields = {"FILEVERSION": numbers(u32(fixed, 8), u32(fixed, 12)),
              "PRODUCTVERSION": numbers(u32(fixed, 16), u32(fixed, 20))}
    for name, _, _, tables, _ in children:
        if name != "StringFileInfo":
            continue
        for _, _, _, strings, _ in tables:
            for string, value, _, _, _ in strings:
                fields[string] = value.decode("utf-16-le").rstrip("\0")
    return fields


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: pe_info.py PROGRAM.exe")
    pe = Pe(open(sys.argv[1], "rb").read())
    print("timestamp=%d" % pe.timestamp())
    print("checksum=%#010x" % pe.checksum())
    print("checksum_matches=%s" % ("yes" if pe.checksum() == pe.computed_checksum() else "no"))
    for name, value in version_fields(pe.version_resource()).items():
        print("%s=%s" % (name, value))


if __name__ == "__main__":
    main()
