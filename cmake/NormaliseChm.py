#!/usr/bin/env python3
"""Clears the two compile times chmcmd stamps into a compiled help file, so that the same
sources give the same bytes whenever they are compiled: the time in the file's header and the
time entry (code 10) of its #SYSTEM file, which chmcmd stores uncompressed. Fails when the file
is not laid out as expected, rather than leave a time in it.

    python3 NormaliseChm.py file.chm
"""
import struct
import sys


def fail(path, why):
    sys.exit(f"{path}: {why}")


def encint(data, at):
    """A directory entry's number: 7 bits a byte, high bit set on all but the last."""
    value = 0
    while True:
        byte = data[at]
        at += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, at


def find_entry(data, path, wanted):
    """(section, offset, length) of file `wanted` in the directory's listing chunks."""
    directory = struct.unpack_from("<Q", data, 0x48)[0]
    if data[directory:directory + 4] != b"ITSP":
        fail(path, "no directory header")
    header_length, _, chunk_size = struct.unpack_from("<III", data, directory + 0x08)
    first_chunk = struct.unpack_from("<i", data, directory + 0x20)[0]
    chunk, seen = first_chunk, set()
    while chunk != -1 and chunk not in seen:
        seen.add(chunk)
        base = directory + header_length + chunk * chunk_size
        if data[base:base + 4] != b"PMGL":
            fail(path, f"directory chunk {chunk} is not a listing")
        free = struct.unpack_from("<I", data, base + 0x04)[0]
        next_chunk = struct.unpack_from("<i", data, base + 0x10)[0]
        at, end = base + 0x14, base + chunk_size - free
        while at < end:
            length, at = encint(data, at)
            name = bytes(data[at:at + length])
            at += length
            section, at = encint(data, at)
            offset, at = encint(data, at)
            size, at = encint(data, at)
            if name == wanted:
                return section, offset, size
        chunk = next_chunk
    fail(path, f"no {wanted.decode()} in the directory")


def normalise(path):
    with open(path, "rb") as file:
        data = bytearray(file.read())
    if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
        fail(path, "not a version 3 compiled help file")
    data[0x10:0x14] = bytes(4)  # the header's time

    section, offset, size = find_entry(data, path, b"/#SYSTEM")
    if section != 0:
        fail(path, "#SYSTEM is compressed")
    system = struct.unpack_from("<Q", data, 0x58)[0] + offset
    at, end, cleared = system + 4, system + size, False
    while at + 4 <= end:
        code, length = struct.unpack_from("<HH", data, at)
        if code == 10:  # the compile time
            data[at + 4:at + 4 + length] = bytes(length)
            cleared = True
        at += 4 + length
    if at != end or not cleared:
        fail(path, "#SYSTEM has no compile time where expected")

    with open(path, "wb") as file:
        file.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: NormaliseChm.py file.chm")
    normalise(sys.argv[1])
