#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the data folder the keys run leaves, byte for byte, against the data file
as it was before the run: checkkeys.py DRIVE_C BEFORE."""
import os
import sys

root, before_path = sys.argv[1], sys.argv[2]
folder = os.path.join(root, "Program Files", "Pelvarin")
FIELDS = {"first": (0, 10), "last": (10, 20), "company": (30, 40), "address": (70, 50),
          "city": (120, 30), "id": (157, 6), "home": (163, 12), "type": (229, 20)}
problems = []


def with_fields(record, **values):
    out = bytearray(record if record else b" " * 249)
    for name, text in values.items():
        offset, width = FIELDS[name]
        out[offset:offset + width] = text.encode("cp1252")[:width].ljust(width, b" ")
    return bytes(out)


def expect(name, actual, wanted):
    if actual != wanted:
        problems.append(f"{name}:\n  got      {actual!r}\n  expected {wanted!r}")


def read(*parts):
    with open(os.path.join(folder, *parts), "rb") as f:
        return f.read()


with open(before_path, "rb") as f:
    before = [f.read(249) for _ in range(3)]
data = read("Cardomine.Dat")
records = [data[i:i + 249] for i in range(0, len(data), 249)]
expect("record count", len(records), 4)
# Pastes kept their first line, the tab a space; Alt+letters typed nothing.
expect("record 1", records[0],
       with_fields(before[0], last="First line", company="First line", address="Main St@"))
expect("record 2", records[1], before[1])
# Saved with the tab it was stored with.
expect("record 3", records[2], with_fields(before[2], city="Keighley"))
expect("record 3 company", records[2][30:47], b"Haworth\tParsonage")
expect("record 4", records[3] if len(records) > 3 else b"",
       with_fields(None, first="Ann", last="Lee", company="Acme", id="4", home="555",
                   type="Contacts"))
expect("index file", read("Index.tbl"),
       b"Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=4\r\nFile_Type=R\r\n")
expect("notes of contact 1", read("Contact Notes", "1.txt"), b"First\tline\r\nSecond line\r\n")
expect("notes of contact 4 exist",
       os.path.exists(os.path.join(folder, "Contact Notes", "4.txt")), False)

if problems:
    print("\n".join(problems))
    sys.exit(1)
print("files as expected")
