#!/usr/bin/env python3
"""Writes the sample program files master.hex and slave.hex beside this script.

Each is an Intel HEX image of 16-byte data records as a Zelmirt build would leave it:
application code from address 0000, stretches of erased flash (all-FF records) between its
sections, a constant table, and the bootloader's own area from F800 up, which the
programming utility never sends. The bytes come from a fixed seed, so every run writes the
same files.

Usage: examples/make-examples.py
"""
import os

RECORD_BYTES = 16
BOOTLOADER_START = 0xF800


class Lcg:
    """A small linear congruential generator: the same bytes on every Python."""

    def __init__(self, seed):
        self.state = seed

    def byte(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 16) & 0xFF


def record(address, record_type, data):
    fields = [len(data), address >> 8, address & 0xFF, record_type] + list(data)
    checksum = (-sum(fields)) & 0xFF
    return ":" + "".join("%02X" % b for b in fields + [checksum])


def section(lines, start, data):
    for offset in range(0, len(data), RECORD_BYTES):
        lines.append(record(start + offset, 0x00, data[offset:offset + RECORD_BYTES]))


def image(seed, sections):
    """sections: (start, length, kind) with kind "code" or "blank"."""
    rng = Lcg(seed)
    lines = [record(0x0000, 0x04, [0x00, 0x00])]  # extended linear address 0
    for start, length, kind in sections:
        if kind == "blank":
            data = [0xFF] * length
        else:
            # Code never holds a whole record of FF; a stray FF byte is fine.
            data = [rng.byte() for _ in range(length)]
        section(lines, start, data)
    lines.append(record(0x0000, 0x01, []))  # end of file
    return lines


def write(name, lines):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    blank = sum(1 for l in lines if l[7:9] == "00" and set(l[9:-2]) == {"F"})
    high = sum(1 for l in lines if int(l[3:7], 16) >= BOOTLOADER_START)
    print("%s: %d records, %d all-FF, %d at F800 and above" % (name, len(lines), blank, high))


def main():
    write("master.hex", image(0x5A17, [
        (0x0000, 0x1800, "code"),      # application, 6 KB
        (0x1800, 0x0200, "blank"),     # erased gap
        (0x1A00, 0x0600, "code"),      # constant tables
        (0x2000, 0x0100, "blank"),
        (0xF800, 0x0400, "code"),      # bootloader area
        (0xFC00, 0x0100, "blank"),
        (0xFFF0, 0x0010, "code"),      # reset vector
    ]))
    write("slave.hex", image(0x51A7, [
        (0x0000, 0x0C00, "code"),      # application, 3 KB
        (0x0C00, 0x0100, "blank"),
        (0x0D00, 0x0300, "code"),
        (0xF800, 0x0200, "code"),      # bootloader area
        (0xFFF0, 0x0010, "code"),
    ]))


if __name__ == "__main__":
    main()
