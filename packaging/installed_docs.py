#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The installed documentation: both manual pages, the README's sections for users of the installed
programs (not those about building, benchmarks or the code's layout; pictures left out, as the package
has none) and a changelog, each compressed without a time stamp, so the package comes out the same
however often it is made.

    installed_docs.py SOURCE_DIR OUTPUT_DIR VERSION MAINTAINER"""
import gzip
import os
import re
import sys

USER_SECTIONS = {"The batch front end", "The averaged analysis of whole recordings", "Input", "Output files",
                 "The window"}


def user_readme(text):
    kept, keep, in_code = [], True, False  # the introduction before the first section is kept
    for line in text.splitlines(keepends=True):
        if line.startswith("```"):
            in_code = not in_code
        heading = None if in_code else re.match(r"## (.*)$", line.rstrip("\n"))
        if heading:
            keep = heading.group(1) in USER_SECTIONS
        if keep and not line.startswith("!["):
            kept.append(line)
    return "".join(kept)


def write_gzip(path, data):
    with open(path, "wb") as raw, gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as out:
        out.write(data)


def main():
    source, output, version, maintainer = sys.argv[1:5]
    os.makedirs(output, exist_ok=True)
    with open(os.path.join(source, "README.md"), encoding="utf-8") as stream:
        write_gzip(os.path.join(output, "README.md.gz"), user_readme(stream.read()).encode("utf-8"))
    for page in ("kestrix.1", "kestrix-batch.1"):
        with open(os.path.join(source, "packaging", page), "rb") as stream:
            write_gzip(os.path.join(output, page + ".gz"), stream.read())
    changelog = (f"kestrix ({version}) stable; urgency=medium\n\n  * Release {version}.\n\n"
                 f" -- {maintainer}  Thu, 01 Jan 2026 00:00:00 +0000\n")
    write_gzip(os.path.join(output, "changelog.gz"), changelog.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
