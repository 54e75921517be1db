#!/usr/bin/env python3
"""Derives the table of what the major mail readers support from a snapshot
of public mail-client support data (one Markdown file per HTML element,
attribute, CSS property, unit or image format, with a `stats:` block in its
front matter), for the test of what each page style writes.

    scripts/mailclients_table.py SNAPSHOT_DIR tests/data/mail/support.tsv

One line per feature (FEATURE, "all", y), then one per reader that does not
fully support it: FEATURE, READER (family/platform), the verdict of the
latest version listed (a partial, n not, u unknown) and, for a partial
verdict, its notes."""
import pathlib
import re
import sys

# The readers most mail is opened in. Windows Mail, a retired program, is left out.
MAJOR = {"apple-mail", "gmail", "outlook", "yahoo", "samsung-email", "thunderbird"}
LEFT_OUT = {("outlook", "windows-mail")}

OPEN = re.compile(r'^\s*"?([A-Za-z0-9_.-]+)"?\s*:\s*\{')
VERDICT = re.compile(r'^\s*"([^"]+)"\s*:\s*"([^"]*)"')


def parse(text):
    """The stats block as {family: {platform: last verdict}} and the notes by number."""
    stats, notes, path = {}, {}, []
    block = None
    for line in text.splitlines():
        if block is None:
            if line.startswith("stats:"):
                block = "stats"
            elif line.startswith("notes_by_num:"):
                block = "notes"
            continue
        if block == "notes":
            if line.strip().startswith("}"):
                block = None
            elif m := VERDICT.match(line):
                notes[m.group(1)] = m.group(2)
            continue
        if m := OPEN.match(line):
            path.append(m.group(1))
        elif m := VERDICT.match(line):
            if len(path) == 2:
                stats.setdefault(path[0], {})[path[1]] = m.group(2)
        elif line.strip().startswith("}"):
            if not path:
                block = None
            else:
                path.pop()
    return stats, notes


def main(source, target):
    rows = []
    for md in sorted(pathlib.Path(source).glob("*.md")):
        if md.name.startswith("_") or md.name == "README.md":
            continue
        stats, notes = parse(md.read_text(encoding="utf-8"))
        rows.append(f"{md.stem}\tall\ty\t")  # the feature is in the data; where it falls short, below
        for family in sorted(stats):
            if family not in MAJOR:
                continue
            for platform, verdict in sorted(stats[family].items()):
                if (family, platform) in LEFT_OUT:
                    continue
                kind, *numbers = verdict.split()
                if kind == "y":
                    continue
                said = " ".join(notes.get(n.lstrip("#"), "") for n in numbers).replace("\t", " ").strip()
                rows.append(f"{md.stem}\t{family}/{platform}\t{kind}\t{said}")
    header = ("# What the major mail readers support, latest version each, derived by\n"
              "# scripts/mailclients_table.py from the public caniemail data (MIT licence).\n")
    pathlib.Path(target).write_text(header + "\n".join(rows) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
