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


class Image:
    """The headers of a PE program, and its bytes at a virtual address."""

    def __init__(self, data, header):
        self.data = data
        sections = struct.unpack_from("<H", data, header + 6)[0]
        optional_size, self.characteristics = struct.unpack_from("<HH", data, header + 20)
        optional = header + 24
        self.wide = struct.unpack_from("<H", data, optional)[0] == 0x20B
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        count_at = optional + (108 if self.wide else 92)
        count = struct.unpack_from("<I", data, count_at)[0]
        self.directories = [struct.unpack_from("<II", data, count_at + 4 + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def at(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("RVA 0x%x is in no section" % rva)

    def text(self, rva):
        start = self.at(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        rva, _ = self.directory(IMPORT_DIRECTORY)
        names = []
        while rva:
            entry = struct.unpack_from("<5I", self.data, self.at(rva))
            if not any(entry):
                break
            names.append(self.text(entry[3]))
            rva += 20
        return names

    def load_config(self):
        """The load configuration's dependent load flags, and for a 32-bit
        program its exception handler table; None without a load configuration."""
        rva, size = self.directory(LOAD_CONFIG_DIRECTORY)
        if not rva or not size:
            return None
        at = self.at(rva)
        length = struct.unpack_from("<I", self.data, at)[0]
        flags_at = 78 if self.wide else 54
        flags = struct.unpack_from("<H", self.data, at + flags_at)[0] if length >= flags_at + 2 else 0
        table = 0 if self.wide or length < 72 else struct.unpack_from("<I", self.data, at + 64)[0]
        return flags, table


def yes(flag):
    return "yes" if flag else "no"


def print_hardening(image):
    """The import list and the header's flags that decide what can be loaded
    into the program and how an attack on it is made harder."""
    imports = image.imports()
    print("imports=%s" % ",".join(imports))
    print("imports_outside_known=%s" % ",".join(n for n in imports if n.lower() not in ALLOWED_IMPORTS))
    flags = image.dll_characteristics
    relocated = image.directory(RELOC_DIRECTORY)[1] and not image.characteristics & RELOCS_STRIPPED
    print("aslr=%s" % yes(flags & DYNAMIC_BASE and relocated))
    print("high_entropy_aslr=%s" % (yes(flags & HIGH_ENTROPY_VA) if image.wide else "n/a"))
    print("dep=%s" % yes(flags & NX_COMPAT))
    print("no_seh=%s" % ("n/a" if image.wide else yes(flags & NO_SEH)))
    config = image.load_config()
    print("load_config=%s" % yes(config))
    print("safe_seh_table=%s" % ("n/a" if image.wide else yes(config and config[1])))
    print("dependent_load_flags=%s" % ("0x%x" % config[0] if config and config[0] else "none"))


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
    print_hardening(Image(data, header))
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
