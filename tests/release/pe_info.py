#!/usr/bin/env python3
"""Reads what a Windows program says about itself, without Windows: the PE
header's time stamp, whether its checksum fits the bytes, and the version
resource's fixed numbers (VS_FIXEDFILEINFO) and version strings.

    pe_info.py PROGRAM.exe      prints NAME=VALUE lines
"""
import struct
import sys

FIXED_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
STRINGS = ("FileVersion", "ProductVersion", "ProductName", "OriginalFilename")


def checksum(data, field):
    """The PE checksum: 16-bit words summed with end-around carry, the
    checksum field itself left out, plus the file's length."""
    words = data[:field] + b"\0\0\0\0" + data[field + 4:] + b"\0" * (len(data) & 1)
    total = 0
    for (word,) in struct.iter_unpack("<H", words):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def version_string(data, key):
    """A StringFileInfo value: after its UTF-16 key and the padding to 4 bytes."""
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        return None
    at = (at + 2 * len(key) + 2 + 3) & ~3
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: pe_info.py PROGRAM.exe")
    data = open(sys.argv[1], "rb").read()
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
        sys.exit("pe_info: %s is no PE program" % sys.argv[1])
    field = header + 24 + 64
    print("timestamp=%d" % struct.unpack_from("<I", data, header + 8)[0])
    print("checksum_matches=%s" % ("yes" if struct.unpack_from("<I", data, field)[0] == checksum(data, field) else "no"))
    fixed = data.find(FIXED_INFO_SIGNATURE)
    if fixed >= 0:
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, fixed + 8)
        numbers = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        print("FILEVERSION=%s" % numbers(file_ms, file_ls))
        print("PRODUCTVERSION=%s" % numbers(product_ms, product_ls))
    for key in STRINGS:
        value = version_string(data, key)
        if value is not None:
            print("%s=%s" % (key, value))


if __name__ == "__main__":
    main()
