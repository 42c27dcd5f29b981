#!/usr/bin/env python3
"""Reads what a Windows program says about itself, without Windows: the PE
header's time stamp, whether its checksum fits the bytes, the DLLs it
imports and those of them that are no KnownDLL, the header's hardening
flags, the load configuration, and the version resource's fixed numbers
(VS_FIXEDFILEINFO) and version strings.

    pe_info.py PROGRAM.exe      prints NAME=VALUE lines
    pe_info.py --known-dlls     prints the KnownDLLs, one a line
"""
import struct
import sys

FIXED_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
STRINGS = ("FileVersion", "ProductVersion", "ProductName", "OriginalFilename")
# The DLLs Windows only ever loads from the system folder, whatever lies
# beside the program. COMCTL32 is none of them: the manifest binds it side by
# side, which is why it is the one other import allowed.
KNOWN_DLLS = ("advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll",
              "ntdll.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "shcore.dll", "shell32.dll",
              "shlwapi.dll", "user32.dll", "ws2_32.dll")
ALLOWED_IMPORTS = KNOWN_DLLS + ("comctl32.dll",)
DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT, NO_SEH = 0x40, 0x20, 0x100, 0x400
RELOCS_STRIPPED = 0x1
IMPORT_DIRECTORY, RELOC_DIRECTORY, LOAD_CONFIG_DIRECTORY = 1, 5, 10


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


def hardening(data, header):
    """The imports, those that are neither a KnownDLL nor COMCTL32, and the
    header's flags that decide what is loaded into the program and how hard
    an attack on it is, as NAME=VALUE lines."""
    u16 = lambda at: struct.unpack_from("<H", data, at)[0]
    u32 = lambda at: struct.unpack_from("<I", data, at)[0]
    optional = header + 24
    wide = u16(optional) == 0x20B
    table = optional + u16(header + 20)
    sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(u16(header + 6))]
    # A virtual address's place in the file (VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData).
    at = lambda rva: next(raw + rva - va for size, va, raw_size, raw in sections if va <= rva < va + max(size, raw_size))
    directory = lambda i: struct.unpack_from("<II", data, optional + (112 if wide else 96) + 8 * i)
    imports, rva = [], directory(IMPORT_DIRECTORY)[0]
    while rva and u32(at(rva) + 12):
        name = at(u32(at(rva) + 12))
        imports.append(data[name:data.index(b"\0", name)].decode("ascii"))
        rva += 20
    flags = u16(optional + 70)
    relocated = directory(RELOC_DIRECTORY)[1] and not u16(header + 22) & RELOCS_STRIPPED
    config, size = directory(LOAD_CONFIG_DIRECTORY)
    length = u32(at(config)) if config and size else 0
    load_flags_at = 78 if wide else 54  # DependentLoadFlags
    yes = lambda flag: "yes" if flag else "no"
    return ["imports=" + ",".join(imports),
            "imports_outside_known=" + ",".join(n for n in imports if n.lower() not in ALLOWED_IMPORTS),
            "aslr=" + yes(flags & DYNAMIC_BASE and relocated),
            "high_entropy_aslr=" + (yes(flags & HIGH_ENTROPY_VA) if wide else "n/a"),
            "dep=" + yes(flags & NX_COMPAT),
            "no_seh=" + ("n/a" if wide else yes(flags & NO_SEH)),
            "load_config=" + yes(length),
            "safe_seh_table=" + ("n/a" if wide else yes(length >= 72 and u32(at(config) + 64))),
            "dependent_load_flags=" + ("0x%x" % u16(at(config) + load_flags_at) if length >= load_flags_at + 2 else "none")]


def main():
    if sys.argv[1:] == ["--known-dlls"]:
        print("\n".join(KNOWN_DLLS))
        return
    if len(sys.argv) != 2:
        sys.exit("usage: pe_info.py PROGRAM.exe | --known-dlls")
    data = open(sys.argv[1], "rb").read()
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
        sys.exit("pe_info: %s is no PE program" % sys.argv[1])
    field = header + 24 + 64
    print("timestamp=%d" % struct.unpack_from("<I", data, header + 8)[0])
    print("checksum_matches=%s" % ("yes" if struct.unpack_from("<I", data, field)[0] == checksum(data, field) else "no"))
    print("\n".join(hardening(data, header)))
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
