#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the data folder the end-to-end run leaves, byte for byte."""
import os
import stat
import sys

root = sys.argv[1]
folder = os.path.join(root, "Program Files", "Pelvarin")
problems = []


def record(fields):
    widths = [10, 20, 40, 50, 30, 2, 5, 6, 12, 12, 12, 30, 20]
    out = b""
    for value, width in zip(fields, widths):
        out += value.encode("cp1252")[:width].ljust(width, b" ")
    assert len(out) == 249
    return out


def expect(name, actual, wanted):
    if actual != wanted:
        problems.append(f"{name}:\n  got      {actual!r}\n  expected {wanted!r}")


def read(*parts):
    with open(os.path.join(folder, *parts), "rb") as f:
        return f.read()


sample = record(["Tobin", "Marrack", "Pelvarin", "1001 Pelvarin Way", "Long Island City", "NY",
                 "11101", "1", "267.555.1212", "212.555.0143", "", "800.555.0199", "Contacts"])
alice = record(["Alice", "Edited", "Acme Ltd", "", "", "", "", "2", "555.0100", "", "", "",
                "Contacts"])
bob = record(["Bob", "Baker", "Bakery", "", "", "", "", "3", "", "555.0200", "", "", "Contacts"])

data = read("Cardomine.Dat")
expect("data file length", len(data), 747)
for i, wanted in enumerate([sample, alice, bob]):
    expect(f"record {i + 1}", data[i * 249:(i + 1) * 249], wanted)
expect("index file", read("Index.tbl"),
       b"Num_Of_Types=1\r\nData_Type=Contacts\r\nNum_Of_Records=3\r\nFile_Type=R\r\n")
expect("notes of contact 2", read("Contact Notes", "2.txt"), b"Alice notes\r\n")
expect("notes of contact 3 exist", os.path.exists(os.path.join(folder, "Contact Notes", "3.txt")),
       False)
expect("sample notes", read("Contact Notes", "1.txt"), (
    b"These are an example of contact notes.\r\n"
    b"They have been created by Cardomine (tm).  You can use any text editor to add to or change "
    b"these notes.\r\n"
    b"If you don't want them, simply delete the note file of your contact by locating the file "
    b"in. . .\r\n"
    b"c:\\Program Files\\Pelvarin\\Contact Notes\\(ContactID).txt, where ContactID is the number "
    b"of the contact's notes you'd like to erase.\r\n"))

for name, dos in [("Cardomine.Dat", b"0x6"), ("Index.tbl", b"0x4")]:
    path = os.path.join(folder, name)
    mode = os.stat(path).st_mode
    expect(f"{name} is read-only", mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH), 0)
    try:
        value = os.getxattr(path, "user.DOSATTRIB")
    except OSError:
        value = None  # the sidecar holds it on file systems without xattrs
        with open(os.path.join(folder, ".dosattrib"), "rb") as f:
            if name.encode() not in f.read():
                problems.append(f"{name}: no attributes recorded")
    if value is not None:
        expect(f"{name} DOSATTRIB", value, dos)
expect("no repair happened", os.path.exists(os.path.join(folder, "Recovered")), False)

if problems:
    print("\n".join(problems))
    sys.exit(1)
print("files as expected")
