#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The manual page of kestrix-batch, made from what the program itself says: its --help, its
--average --help and its --version. Writes the page (to standard output or --output), or with --check
compares it with a committed page and says how to renew that page when they differ."""
import argparse
import re
import subprocess
import sys

NAME_LINE = r"kestrix\-batch \- spectra of ADC recordings computed as the Kestrix window computes them"
# An option's line in a help text ("  --fs TEXT      sampling frequency ...") and the continuation of
# its description on the next lines.
OPTION = re.compile(r"^  (-\S.*?)\s{2,}(\S.*)$")
CONTINUATION = re.compile(r"^\s{6,}(\S.*)$")


def escape(text):
    text = text.replace("\\", "\\e")
    return "\\&" + text if text.startswith((".", "'")) else text


def option_name(text):
    return "\\fB" + escape(text).replace("-", "\\-") + "\\fR"


def blocks(help_text):
    block = []
    for line in help_text.splitlines():
        if line.strip():
            block.append(line.rstrip())
        elif block:
            yield block
            block = []
    if block:
        yield block


def section(title, level):
    return [f'.{level} "{escape(title)}"']


def options_list(lines):
    out = []
    for line in lines:
        option, continuation = OPTION.match(line), CONTINUATION.match(line)
        if option:
            out += [".TP", option_name(option.group(1)), escape(option.group(2))]
        elif continuation and out:
            out.append(escape(continuation.group(1)))
        else:
            return None
    return out


def roff_of_help(help_text, title_level):
    """The page's lines for one help text: its usage line, paragraphs, option lists and tables."""
    out = []
    for block in blocks(help_text):
        first = block[0]
        if first.startswith("Usage: "):
            continue  # the synopsis states both forms
        if first.endswith(":") and len(block) > 1:
            title, _, remark = first[:-1].partition(" ")
            if title_level == "SH":  # a page's own sections are named in capitals, remarks follow them
                out += section(title.upper(), title_level) + ([".PP", escape(remark)] if remark else [])
            else:
                out += section(first[:-1], title_level)
            listed = options_list(block[1:])
            out += listed if listed is not None else [".nf"] + [escape(line) for line in block[1:]] + [".fi"]
        else:
            out += [".PP"] + [escape(line) for line in block]
    return out


def page(batch):
    def said(*args):
        return subprocess.run([batch, *args], capture_output=True, check=True, text=True).stdout

    version = said("--version").strip()
    lines = [
        f'.TH KESTRIX\\-BATCH 1 "" "{escape(version)}" "User Commands"',
        ".SH NAME", NAME_LINE,
        ".SH SYNOPSIS",
        ".B kestrix\\-batch", "[\\fIOPTIONS\\fR] \\fIFILE\\fR...", ".br",
        ".B kestrix\\-batch \\-\\-average", "[\\fIOPTIONS\\fR] \\fIFILE\\fR...",
        ".SH DESCRIPTION",
    ]
    lines += roff_of_help(said("--help"), "SH")
    lines += [".SH \"AVERAGED SPECTRA (\\-\\-average)\""]
    lines += roff_of_help(said("--average", "--help"), "SS")
    lines += [".SH SEE ALSO", ".BR kestrix (1)",
              ".SH COPYRIGHT", "Kestrix is free software under the GNU General Public License, version 3 or later."]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("batch", help="the kestrix-batch program")
    parser.add_argument("--output", metavar="PAGE", help="write the page here instead of standard output")
    parser.add_argument("--check", metavar="PAGE", help="compare with this committed page instead of writing")
    args = parser.parse_args()
    made = page(args.batch)
    if args.output:
        with open(args.output, "w", encoding="utf-8") as stream:
            stream.write(made)
    if not args.check:
        if not args.output:
            sys.stdout.write(made)
        return 0
    with open(args.check, encoding="utf-8") as stream:
        if stream.read() == made:
            return 0
    print(f"{args.check} no longer matches kestrix-batch --help: renew it with make man-page", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
