#!/usr/bin/env python3
"""Writes the string table (strings.txt: id, a TAB, the UTF-8 text) as a windres STRINGTABLE.

    make_string_table_rc.py strings.txt string_table.rc

Every character is written as a UTF-16 \\x escape, since windres reads rc files byte by byte
in a code page of its own. Standard library only.
"""
import sys
from pathlib import Path


def rc_literal(text):
    units = text.encode("utf-16-le")
    codes = (int.from_bytes(units[i:i + 2], "little") for i in range(0, len(units), 2))
    return 'L"' + "".join(f"\\x{code:04x}" for code in codes) + '"'


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_string_table_rc.py strings.txt string_table.rc")
    lines = ["// Generated from resources/strings.txt at build time; do not edit.",
             "LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED", "STRINGTABLE", "BEGIN"]
    for number, line in enumerate(Path(sys.argv[1]).read_text(encoding="utf-8").splitlines(), 1):
        if not line or line.startswith("#"):
            continue
        ident, tab, text = line.partition("\t")
        if not tab or not ident.isdigit():
            sys.exit(f"{sys.argv[1]}:{number}: not an id and a text: {line}")
        lines.append(f"    {ident} {rc_literal(text)}")
    lines.append("END")
    Path(sys.argv[2]).write_text("\n".join(lines) + "\n", encoding="ascii")


if __name__ == "__main__":
    main()
