#!/usr/bin/env python3
"""Reads the two metadata sections of a built program by name, straight from its ELF file,
and checks their exact bytes, sizes, alignments, flags, symbols and place in the image."""
import struct
import sys

SHT_PROGBITS = 1
SHT_SYMTAB = 2
SHF_ALLOC = 0x2
PT_LOAD = 1
PF_X, PF_W, PF_R = 0x1, 0x2, 0x4

EXPECTED = {
    ".vornos.cmdmeta": {
        "symbol": "g_cmdmeta_0",
        "align": 32,
        "bytes": b"VCMD" + struct.pack("<I", 1) + b"Repair FAT32 directory entry flags.\0"
        + b"mendir /\0" + b"\0",
    },
    ".vornos.pkgmeta": {
        "symbol": "g_pkgmeta_0",
        "align": 4,
        "bytes": b"VPKG" + struct.pack("<I", 1) + b"mendir\0" + b"3\0" + b"\0",
    },
}


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        ident = self.data[:16]
        if ident[:4] != b"\x7fELF" or ident[4] != 1 or ident[5] != 1:
            raise SystemExit(f"{path}: not a 32-bit little-endian ELF file")
        (_, _, _, _, phoff, shoff, _, _, phentsize, phnum, shentsize, shnum,
         shstrndx) = struct.unpack_from("<HHIIIIIHHHHHH", self.data, 16)
        self.sections = []
        for i in range(shnum):
            fields = struct.unpack_from("<IIIIIIIIII", self.data, shoff + i * shentsize)
            self.sections.append(dict(zip(
                ("name", "type", "flags", "addr", "offset", "size", "link", "info", "align",
                 "entsize"), fields)))
        names = self.sections[shstrndx]
        for section in self.sections:
            section["name"] = self.string(names["offset"] + section["name"])
        self.segments = []
        for i in range(phnum):
            fields = struct.unpack_from("<IIIIIIII", self.data, phoff + i * phentsize)
            self.segments.append(dict(zip(
                ("type", "offset", "vaddr", "paddr", "filesz", "memsz", "flags", "align"),
                fields)))

    def string(self, offset):
        return self.data[offset:self.data.index(b"\0", offset)].decode()

    def section(self, name):
        found = [s for s in self.sections if s["name"] == name]
        return found[0] if len(found) == 1 else None

    def contents(self, section):
        return self.data[section["offset"]:section["offset"] + section["size"]]

    def symbols(self):
        table = next((s for s in self.sections if s["type"] == SHT_SYMTAB), None)
        if table is None:
            return {}
        strings = self.sections[table["link"]]
        result = {}
        for offset in range(table["offset"], table["offset"] + table["size"], 16):
            name, value, size, _, _, shndx = struct.unpack_from("<IIIBBH", self.data, offset)
            result[self.string(strings["offset"] + name)] = (value, size, shndx)
        return result


def main():
    image = Image(sys.argv[1])
    failures = []
    check = lambda ok, message: ok or failures.append(message)

    rodata = image.section(".rodata")
    check(rodata is not None, "no .rodata section")
    symbols = image.symbols()
    previous_end = rodata["addr"] + rodata["size"] if rodata else 0
    for name, want in EXPECTED.items():
        section = image.section(name)
        if section is None:
            failures.append(f"{name}: no such section (or more than one)")
            continue
        data = image.contents(section)
        check(section["type"] == SHT_PROGBITS, f"{name}: type {section['type']}, expected PROGBITS")
        check(section["size"] == len(want["bytes"]),
              f"{name}: size {section['size']}, expected {len(want['bytes'])}")
        check(data == want["bytes"], f"{name}: bytes {data.hex()}, expected {want['bytes'].hex()}")
        check(data.endswith(b"\0\0"), f"{name}: does not end in two NUL bytes")
        check(section["align"] == want["align"],
              f"{name}: alignment {section['align']}, expected {want['align']}")
        check(section["addr"] % want["align"] == 0,
              f"{name}: address {section['addr']:#x} misaligned")
        check(section["flags"] == SHF_ALLOC,
              f"{name}: flags {section['flags']:#x}, expected allocated only (read-only data)")
        # Right after the constant strings (and the record before it), with only the padding
        # that the alignment needs in between.
        gap = section["addr"] - previous_end
        check(0 <= gap < want["align"],
              f"{name}: at {section['addr']:#x}, not right after the section before it"
              f" (which ends at {previous_end:#x})")
        previous_end = section["addr"] + section["size"]
        # Loaded with the read-only data: inside a read-only segment that also holds .rodata.
        holders = [p for p in image.segments if p["type"] == PT_LOAD
                   and p["vaddr"] <= section["addr"]
                   and section["addr"] + section["size"] <= p["vaddr"] + p["filesz"]]
        check(len(holders) == 1, f"{name}: not inside exactly one loaded segment")
        for segment in holders:
            check(segment["flags"] & (PF_R | PF_W | PF_X) == PF_R,
                  f"{name}: segment flags {segment['flags']:#x}, expected read-only")
            segment_end = segment["vaddr"] + segment["memsz"]
            check(rodata is not None and segment["vaddr"] <= rodata["addr"] < segment_end,
                  f"{name}: not in the segment of .rodata")
        # The tools go by section name; the symbols are checked when the image keeps them.
        symbol = symbols.get(want["symbol"])
        if not symbols:
            pass
        elif symbol is None:
            failures.append(f"{name}: symbol {want['symbol']} missing")
        else:
            value, size, _ = symbol
            check(value == section["addr"] and size == len(want["bytes"]),
                  f"{want['symbol']}: at {value:#x} size {size}, expected the whole of {name}")

    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print("metadata sections: bytes, sizes 54 and 18, alignments 32 and 4, flags and placement"
          " as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
