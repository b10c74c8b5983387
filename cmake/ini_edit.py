#!/usr/bin/env python3
"""Single-key edits of an INI file, for the build's payload variants.

    ini_edit.py <input> <output> <edit>...

Writes <input> with the edits applied, in order, to <output>. An edit is
"[Section]Key=Value" (set: the key's line is replaced, or the key added after
the section's last non-blank line, or the section added at the file's end)
or "[Section]Key" (the key's line removed; it must be there). Sections and
keys match without regard to case; only the first section of a name counts.
The file's line ends (CR LF when it has any, else LF) are kept, every other
byte too.
"""
import re
import sys

EDIT = re.compile(r"\[([A-Za-z0-9_]+)\]([A-Za-z0-9_]+)(=(.*))?", re.DOTALL)
SECTION = re.compile(r"[ \t]*\[")
BLANK = re.compile(r"[ \t]*")


def apply(lines, edit):
    match = EDIT.fullmatch(edit)
    if not match:
        sys.exit(f"INI edit '{edit}' is not [Section]Key=Value or [Section]Key")
    section, key, has_value, value = match.groups()
    key_pattern = re.compile(r"[ \t]*" + re.escape(key.lower()) + r"[ \t]*=")
    wanted = f"[{section}]".lower()

    section_line = key_line = last_line = -1
    in_section = False
    for index, line in enumerate(lines):
        if SECTION.match(line):
            in_section = line.lower().strip(" \t\r\n\v\f") == wanted and section_line == -1
            if in_section:
                section_line = last_line = index
        elif in_section:
            if not BLANK.fullmatch(line):
                last_line = index
            if key_line == -1 and key_pattern.match(line.lower()):
                key_line = index

    if has_value:
        new_line = f"{key}={value}"
        if key_line != -1:
            lines[key_line] = new_line
        elif section_line != -1:
            lines.insert(last_line + 1, new_line)
        else:
            lines += ["", f"[{section}]", new_line]
    elif key_line != -1:
        del lines[key_line]
    else:
        sys.exit(f"INI edit '{edit}': the file has no key {key} in [{section}]")


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    source, target, edits = argv[0], argv[1], argv[2:]
    # Bytes kept as they are: surrogateescape carries any byte through str.
    with open(source, "rb") as f:
        text = f.read().decode("utf-8", "surrogateescape")
    eol = "\r\n" if "\r\n" in text else "\n"
    text = text.replace("\r\n", "\n")
    if text.endswith("\n"):
        text = text[:-1]
    lines = text.split("\n")
    for edit in edits:
        apply(lines, edit)
    with open(target, "wb") as f:
        f.write((eol.join(lines) + eol).encode("utf-8", "surrogateescape"))


if __name__ == "__main__":
    main(sys.argv[1:])
