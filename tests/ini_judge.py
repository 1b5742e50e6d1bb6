#!/usr/bin/env python3
"""An outside judge for our private-profile files: Python's configparser.

  ini_judge.py read FILE [ENCODING]
      prints every entry of FILE, in file order, as "section<TAB>key<TAB>value"
      lines (UTF-8). FILE is read in ENCODING (a Python codec, utf-8 unless
      given). utf-8-sig takes a byte-order mark off itself; for utf-16-le and
      utf-16-be the file must start with the mark in that order, else it is
      rejected. With utf-8 a mark is not taken off (and the file is rejected).
  ini_judge.py read-many FILE...
      the same for several UTF-8 files in one run, each line with the file's
      name first: "file<TAB>section<TAB>key<TAB>value"
  ini_judge.py write FILE   reads such lines from standard input and writes
                            them to FILE the way configparser writes INI files
                            ("key = value", a blank line after each section, LF)
  ini_judge.py encode ENCODING
      copies standard input (UTF-8) to standard output in ENCODING, with its
      byte-order mark first (utf-8-sig, utf-16-le, utf-16-be) or without one
      (utf-8): the files a Windows editor saves, made by another hand than ours

The parser is set up for the dialect our files use: '=' is the only
delimiter, ';' at the start of a line the only comment, no interpolation,
names keep their case. Exit status 0 on success, 1 when configparser rejects
the file, 2 on bad use.
"""
import configparser
import sys


def make_parser():
    parser = configparser.ConfigParser(
        interpolation=None,
        strict=False,
        delimiters=("=",),
        comment_prefixes=(";",),
        inline_comment_prefixes=None,
        default_section="\x00no default section\x00",
    )
    parser.optionxform = str
    return parser


def is_ordered_utf16(encoding):
    """utf-16-le and utf-16-be: the codecs that neither write nor take off a mark."""
    return encoding.replace("_", "-").lower() in ("utf-16-le", "utf-16-be", "utf-16le", "utf-16be")


def entries(path, encoding="utf-8"):
    """The file's lines "section<TAB>key<TAB>value"; None when it is rejected."""
    parser = make_parser()
    try:
        with open(path, encoding=encoding, newline=None) as f:
            text = f.read()
        if is_ordered_utf16(encoding):
            if not text.startswith("\ufeff"):
                print(f"{path}: no byte-order mark for {encoding}", file=sys.stderr)
                return None
            text = text[1:]
        parser.read_string(text, source=path)
    except (configparser.Error, UnicodeDecodeError, OSError) as error:
        print(f"{path}: {error}", file=sys.stderr)
        return None
    out = []
    for section in parser.sections():
        for key, value in parser.items(section):
            out.append(f"{section}\t{key}\t{value}\n")
    return out


def read(path, encoding):
    out = entries(path, encoding)
    if out is None:
        return 1
    sys.stdout.write("".join(out))
    return 0


def read_many(paths):
    out = []
    for path in paths:
        lines = entries(path)
        if lines is None:
            return 1
        out.extend(f"{path}\t{line}" for line in lines)
    sys.stdout.write("".join(out))
    return 0

def write(path):
    parser = make_parser()
    for line in sys.stdin.read().splitlines():
        section, key, value = line.split("\t")
        if not parser.has_section(section):
            parser.add_section(section)
        parser.set(section, key, value)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        parser.write(f)
    return 0


def encode(encoding):
    text = sys.stdin.buffer.read().decode("utf-8")
    if is_ordered_utf16(encoding):
        text = "\ufeff" + text
    sys.stdout.buffer.write(text.encode(encoding))
    return 0


def main(argv):
    usage_ok = (
        (len(argv) in (3, 4) and argv[1] == "read")
        or (len(argv) == 3 and argv[1] in ("write", "encode"))
        or (len(argv) >= 3 and argv[1] == "read-many")
    )
    if not usage_ok:
        print(__doc__, file=sys.stderr)
        return 2
    if argv[1] == "encode":
        return encode(argv[2])
    sys.stdout.reconfigure(encoding="utf-8", newline="\n")
    sys.stdin.reconfigure(encoding="utf-8")
    if argv[1] == "read-many":
        return read_many(argv[2:])
    if argv[1] == "read":
        return read(argv[2], argv[3] if len(argv) == 4 else "utf-8")
    return write(argv[2])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
