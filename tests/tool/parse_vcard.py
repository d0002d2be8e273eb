#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads an exported vCard file back with vobject and checks every value of the
three test contacts (tests/tool/toolfixture.h)."""
import sys

import vobject

EXPECTED = [
    {
        "fn": "Ada Lovelace", "family": "Lovelace", "given": "Ada",
        "org": ["Analytical Engines, Ltd."],
        "adr": ("12 St James's Square", "London", "LN", "10001"),
        "tel": {"home": "020.555.0101"},
        "email": "ada@example.org", "note": None,
    },
    {
        "fn": "Émile Zola", "family": "Zola", "given": "Émile",
        "org": ["Café €uro; Paris"],
        "adr": ("1 Rue de la Paix", "Paris", "FR", "75002"),
        "tel": {"work": "01.555.0199", "cell": "06.555.0123", "fax": "01.555.0198"},
        "email": None,
        "note": 'Prefers letters.\nPrice: 5 € per visit, café at 9\nSays "bonjour" \\ waves',
    },
    {
        "fn": "Zoë Brontë", "family": "Brontë", "given": "Zoë",
        "org": ["Société Générale d'Électricité du Nord"],
        "adr": ("Apartment 4, 221 Long Road Near The Old Mill Pond", "Haworth", "WY", "BD228"),
        "tel": {"home": "555.0100", "work": "555.0101", "cell": "555.0102"},
        "email": None,
        "note": "Meeting notes: " + "€é" * 30 + "\nSecond line.",
    },
]

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


with open(sys.argv[1], encoding="utf-8", newline="") as f:
    cards = list(vobject.readComponents(f.read()))

check("number of cards", len(cards), len(EXPECTED))
for i, (card, want) in enumerate(zip(cards, EXPECTED), start=1):
    c = card.contents
    check(f"card {i} VERSION", card.version.value, "4.0")
    check(f"card {i} FN", card.fn.value, want["fn"])
    check(f"card {i} N family", card.n.value.family, want["family"])
    check(f"card {i} N given", card.n.value.given, want["given"])
    check(f"card {i} ORG", card.org.value, want["org"])
    adr = card.adr.value
    check(f"card {i} ADR", (adr.street, adr.city, adr.region, adr.code), want["adr"])
    tels = {t.params["TYPE"][0]: t.value for t in c.get("tel", [])}
    check(f"card {i} TEL", tels, want["tel"])
    check(f"card {i} EMAIL", c["email"][0].value if "email" in c else None, want["email"])
    check(f"card {i} NOTE", c["note"][0].value if "note" in c else None, want["note"])
    check(f"card {i} UID form", card.uid.value.startswith("urn:uuid:"), True)

check("distinct UIDs", len({card.uid.value for card in cards}), len(cards))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"{len(cards)} cards read back intact")
