#!/usr/bin/env python3
"""An outside judge for our private-profile files: Python's configparser.

  ini_judge.py read FILE    prints every entry of FILE, in file order, as
                            "section<TAB>key<TAB>value" lines
  ini_judge.py write FILE   reads such lines from standard input and writes
                            them to FILE the way configparser writes INI files
                            ("key = value", a blank line after each section, LF)

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


def read(path):
    parser = make_parser()
    try:
        with open(path, encoding="utf-8", newline=None) as f:
            parser.read_file(f)
    except configparser.Error as error:
        print(error, file=sys.stderr)
        return 1
    out = []
    for section in parser.sections():
        for key, value in parser.items(section):
            out.append(f"{section}\t{key}\t{value}\n")
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


def main(argv):
    if len(argv) != 3 or argv[1] not in ("read", "write"):
        print(__doc__, file=sys.stderr)
        return 2
    sys.stdout.reconfigure(encoding="utf-8", newline="\n")
    sys.stdin.reconfigure(encoding="utf-8")
    return read(argv[2]) if argv[1] == "read" else write(argv[2])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
