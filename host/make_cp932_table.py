#!/usr/bin/env python3
"""Writes cp932_table.h, the code page 932 tables of codepage.cpp, from
Python's own cp932 codec.

    host/make_cp932_table.py          writes host/cp932_table.h
    host/make_cp932_table.py --check  exits 1 if host/cp932_table.h is not
                                      what this script writes

What the program reads as a character is what the codec reads, with one
exception: the single bytes 0x80, 0xA0, 0xFD, 0xFE and 0xFF, which the codec
reads as U+0080 and the private-use U+F8F0 to U+F8F3, are no characters here
(a name holding one is not valid text, and its byte becomes U+FFFD where text
is shown). Where several codes read as one character, the program writes the
code the codec's encoder gives.

Only the rows of the two-byte characters are tables. ASCII, the half-width
katakana 0xA1-0xDF (U+FF61-U+FF9F) and the user-defined area 0xF040-0xF9FC
(U+E000-U+E757, 188 characters a lead byte) are worked out in codepage.cpp;
this script checks that the codec agrees with that arithmetic, and that the
tables and the arithmetic together give exactly the codec's conversions both
ways.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "cp932_table.h")

NOT_CHARACTERS = {0x80, 0xA0, 0xFD, 0xFE, 0xFF}
LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = list(range(0x40, 0x7F)) + list(range(0x80, 0xFD))
USER_DEFINED_LEADS = range(0xF0, 0xFA)


def decode(code):
    """The character the codec reads from `code` (bytes), or None."""
    try:
        text = code.decode("cp932")
    except UnicodeDecodeError:
        return None
    return text if len(text) == 1 else None


def encode(character):
    """The bytes the codec writes for `character`, or None."""
    try:
        return character.encode("cp932")
    except UnicodeEncodeError:
        return None


def arithmetic(code):
    """The character that codepage.cpp works out for `code` (bytes) without
    a table, or None where the tables decide."""
    if len(code) == 1:
        byte = code[0]
        if byte < 0x80:
            return chr(byte)
        if 0xA1 <= byte <= 0xDF:
            return chr(0xFF61 + byte - 0xA1)
        return None
    if code[0] in USER_DEFINED_LEADS:
        return chr(0xE000 + (code[0] - 0xF0) * len(TRAILS) + TRAILS.index(code[1]))
    return None


def build():
    # The single bytes: what the arithmetic gives, or no character.
    for byte in range(0x100):
        code = bytes([byte])
        if byte in NOT_CHARACTERS or byte in LEADS:
            continue
        assert decode(code) == arithmetic(code), code

    # The two-byte characters, one row of 188 for each lead byte that has any.
    rows = []
    row_of_lead = [0] * 0x100
    decoded = {}  # bytes -> character, for every character the program reads
    for lead in LEADS:
        row = []
        for trail in TRAILS:
            code = bytes([lead, trail])
            character = decode(code)
            assert character is None or len(character.encode("utf-16-le")) == 2, code
            if lead in USER_DEFINED_LEADS:
                assert character == arithmetic(code), code
            elif character is not None:
                assert ord(character) != 0, code
            if character is not None:
                decoded[code] = character
            row.append(ord(character) if character is not None else 0)
        if lead not in USER_DEFINED_LEADS and any(row):
            rows.append(row)
            row_of_lead[lead] = len(rows)  # row 0 is the empty one
    for byte in range(0x100):
        code = bytes([byte])
        if byte < 0x80 or 0xA1 <= byte <= 0xDF:
            decoded[code] = arithmetic(code)

    # The other way: the code the encoder gives for each character read from
    # a row, in the order of the characters.
    by_character = {}
    for code, character in decoded.items():
        if len(code) == 2 and row_of_lead[code[0]] != 0:
            by_character[ord(character)] = encode(character)
    for value, code in by_character.items():
        assert code is not None and decoded.get(code) == chr(value), hex(value)

    # Both ways together: every character the encoder writes, and reads back
    # as itself, is one of the program's, written as the encoder writes it.
    characters = set(decoded.values())
    for value in range(0x110000):
        if 0xD800 <= value < 0xE000:
            continue
        character = chr(value)
        code = encode(character)
        if code is None or decode(code) != character or code[0] in NOT_CHARACTERS:
            assert character not in characters, hex(value)
            continue
        assert character in characters, hex(value)
        if value in by_character:
            assert by_character[value] == code, hex(value)
        else:
            assert arithmetic(code) == character, hex(value)
    return row_of_lead, rows, [by_character[v] for v in sorted(by_character)]


def numbers(values, width, per_line):
    lines = []
    for start in range(0, len(values), per_line):
        chunk = values[start:start + per_line]
        lines.append("    " + ", ".join("0x%0*X" % (width, v) for v in chunk) + ",")
    return "\n".join(lines)


def render():
    row_of_lead, rows, codes = build()
    out = []
    out.append("// Code page 932 in tables: written by make_cp932_table.py from Python's cp932")
    out.append("// codec. Do not edit; run the script instead.")
    out.append("#ifndef D88UNPACK_HOST_CP932_TABLE_H")
    out.append("#define D88UNPACK_HOST_CP932_TABLE_H")
    out.append("")
    out.append("#include <cstdint>")
    out.append("")
    out.append("namespace cp932_table {")
    out.append("")
    out.append("// The trail bytes of a two-byte character: 0x40 to 0xFC without 0x7F.")
    out.append("constexpr int kTrailCount = %d;" % len(TRAILS))
    out.append("")
    out.append("// clang-format off")
    out.append("")
    out.append("// For each byte, the row of kRows that holds the characters it leads; 0,")
    out.append("// the empty row, where it leads none that a row holds.")
    out.append("constexpr std::uint8_t kRowOfLead[256] = {")
    out.append(numbers(row_of_lead, 2, 16))
    out.append("};")
    out.append("")
    out.append("// The character (UTF-16) of each lead byte with each trail byte, in the")
    out.append("// order of the trail bytes; 0 where there is none.")
    out.append("constexpr std::uint16_t kRows[%d][kTrailCount] = {" % (len(rows) + 1))
    for row in [[0] * len(TRAILS)] + rows:
        out.append("  {")
        out.append(numbers(row, 4, 12))
        out.append("  },")
    out.append("};")
    out.append("")
    out.append("// The code written for each character that kRows holds, in the order of")
    out.append("// the characters.")
    out.append("constexpr std::uint16_t kCodesByCharacter[%d] = {" % len(codes))
    out.append(numbers([int.from_bytes(c, "big") for c in codes], 4, 12))
    out.append("};")
    out.append("")
    out.append("// clang-format on")
    out.append("")
    out.append("}  // namespace cp932_table")
    out.append("")
    out.append("#endif")
    return "\n".join(out) + "\n"


def main():
    text = render()
    if sys.argv[1:] == ["--check"]:
        with open(OUTPUT, encoding="utf-8") as current:
            if current.read() != text:
                print("%s is not what %s writes" % (OUTPUT, sys.argv[0]), file=sys.stderr)
                return 1
        return 0
    if sys.argv[1:]:
        print(__doc__, file=sys.stderr)
        return 2
    with open(OUTPUT, "w", encoding="utf-8", newline="\n") as table:
        table.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
