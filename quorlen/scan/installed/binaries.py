"""The sections of executables in the three formats linkers write (ELF,
Mach-O, PE), read from the file's bytes alone: what the build-information
readers need to find their data and follow the addresses in it. Nothing
here runs or maps the program."""

from __future__ import annotations

import struct
from dataclasses import dataclass


@dataclass(frozen=True)
class Section:
    name: str
    addr: int  # where the loader would put it
    offset: int  # where its bytes are in the file
    size: int  # bytes in the file (0 for zero-filled sections)


@dataclass(frozen=True)
class Binary:
    format: str
    sections: tuple[Section, ...]
    data: bytes
    big_endian: bool = False

    def section(self, *names: str) -> bytes | None:
        for s in self.sections:
            if s.name in names and s.size:
                return self.data[s.offset:s.offset + s.size]
        return None

    def at(self, addr: int, size: int) -> bytes | None:
        """The bytes the program would see at a memory address, or None
        when no section holds them in the file."""
        for s in self.sections:
            if s.size and s.addr <= addr and addr + size <= s.addr + s.size:
                start = s.offset + addr - s.addr
                return self.data[start:start + size]
        return None


MAGICS = (b"\x7fELF", b"\xfe\xed\xfa\xce", b"\xce\xfa\xed\xfe", b"\xfe\xed\xfa\xcf", b"\xcf\xfa\xed\xfe", b"MZ")


def is_executable(data: bytes) -> bool:
    return data[:4] in MAGICS or data[:2] == b"MZ"


def parse(data: bytes) -> Binary | None:
    """The sections of an executable, or None for bytes in none of the
    formats. Raises struct.error or ValueError for a truncated or
    inconsistent one."""
    if data[:4] == b"\x7fELF":
        return _elf(data)
    if data[:4] in MAGICS[1:5]:
        return _macho(data)
    if data[:2] == b"MZ":
        return _pe(data)
    return None


def _name(raw: bytes) -> str:
    return raw.split(b"\0", 1)[0].decode("latin-1")


def _elf(data: bytes) -> Binary:
    wide = data[4] == 2
    e = ">" if data[5] == 2 else "<"
    if wide:
        shoff, = struct.unpack_from(e + "Q", data, 0x28)
        shentsize, shnum, shstrndx = struct.unpack_from(e + "HHH", data, 0x3A)
        layout = e + "IIQQQQ"
    else:
        shoff, = struct.unpack_from(e + "I", data, 0x20)
        shentsize, shnum, shstrndx = struct.unpack_from(e + "HHH", data, 0x2E)
        layout = e + "IIIIII"
    raw = []
    for i in range(shnum):
        name, kind, _flags, addr, offset, size = struct.unpack_from(layout, data, shoff + i * shentsize)
        raw.append((name, kind, addr, offset, 0 if kind == 8 else size))  # 8: SHT_NOBITS, no bytes in the file
    if not raw or shstrndx >= len(raw):
        raise ValueError("no section name table")
    names_at = raw[shstrndx][3]
    sections = tuple(Section(_name(data[names_at + name:names_at + name + 256]), addr, offset, size)
                     for name, _kind, addr, offset, size in raw if offset + size <= len(data))
    return Binary("ELF", sections, data, e == ">")


def _macho(data: bytes) -> Binary:
    e = ">" if data[:4] in (b"\xfe\xed\xfa\xce", b"\xfe\xed\xfa\xcf") else "<"
    wide = data[:4] in (b"\xfe\xed\xfa\xcf", b"\xcf\xfa\xed\xfe")
    ncmds, = struct.unpack_from(e + "I", data, 16)
    at = 32 if wide else 28
    sections = []
    for _ in range(ncmds):
        cmd, size = struct.unpack_from(e + "II", data, at)
        if cmd in (0x1, 0x19):  # LC_SEGMENT, LC_SEGMENT_64
            count, = struct.unpack_from(e + "I", data, at + (64 if wide else 48))
            s_at = at + (72 if wide else 56)
            for _ in range(count):
                name = _name(data[s_at:s_at + 16])
                if wide:
                    addr, length, offset = struct.unpack_from(e + "QQI", data, s_at + 32)
                else:
                    addr, length, offset = struct.unpack_from(e + "III", data, s_at + 32)
                if offset and offset + length <= len(data):
                    sections.append(Section(name, addr, offset, length))
                s_at += 80 if wide else 68
        if size < 8:
            raise ValueError("a load command shorter than its header")
        at += size
    return Binary("Mach-O", tuple(sections), data, e == ">")


def _pe(data: bytes) -> Binary:
    pe_at, = struct.unpack_from("<I", data, 0x3C)
    if data[pe_at:pe_at + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    count, = struct.unpack_from("<H", data, pe_at + 6)
    optional_size, = struct.unpack_from("<H", data, pe_at + 20)
    optional = pe_at + 24
    magic, = struct.unpack_from("<H", data, optional)
    base = struct.unpack_from("<Q", data, optional + 24)[0] if magic == 0x20B \
        else struct.unpack_from("<I", data, optional + 28)[0]
    at = optional + optional_size
    sections = []
    for i in range(count):
        name = _name(data[at + i * 40:at + i * 40 + 8])
        vsize, vaddr, raw_size, raw_at = struct.unpack_from("<IIII", data, at + i * 40 + 8)
        size = min(vsize, raw_size) if vsize else raw_size
        if raw_at + size <= len(data):
            sections.append(Section(name, base + vaddr, raw_at, size))
    return Binary("PE", tuple(sections), data)
