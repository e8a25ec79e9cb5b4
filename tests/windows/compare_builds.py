#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Windows build's kestrix-batch.exe (under Wine) against the Linux build's kestrix-batch on one
generated recording with a non-ASCII name: the classic run's five files at the start-up settings byte
for byte, and the averaged spectrum (--average) with the same heading and frequencies and values within
the last of their fifteen digits (its window's cosines come from each system's mathematics library,
whose last bits differ for some angles)."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

NAME = "計測 motor"
FIVE = ["_SPC.csv", "_BAND_SPC.csv", "_BAND_WAVE.csv", "_BAND.wav", ".wav"]
# Two fifteen-digit texts of one value computed with cosines a unit in the last place apart.
RELATIVE_TOLERANCE = 1e-13


def run(command, folder):
    result = subprocess.run(command, cwd=folder, capture_output=True, timeout=300)
    if result.returncode != 0:
        sys.exit(f"{command} exited with {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result.stdout.decode("utf-8").splitlines()


def averaged_lines_agree(linux_text, windows_text):
    linux_lines, windows_lines = linux_text.splitlines(), windows_text.splitlines()
    if len(linux_lines) != len(windows_lines) or linux_lines[0] != windows_lines[0]:
        print("the averaged files differ in their heading or length")
        return False
    differing = 0
    for linux_line, windows_line in zip(linux_lines[1:], windows_lines[1:]):
        if linux_line == windows_line:
            continue
        differing += 1
        linux_frequency, linux_value = linux_line.split(",")
        windows_frequency, windows_value = windows_line.split(",")
        a, b = float(linux_value), float(windows_value)
        if linux_frequency != windows_frequency or abs(a - b) > RELATIVE_TOLERANCE * max(abs(a), abs(b)):
            print(f"averaged line differs: {linux_line!r} (Linux) against {windows_line!r} (Windows)")
            return False
    print(f"averaged spectrum: {len(linux_lines) - 1} lines, {differing} differ in their last digit only")
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--linux-build", required=True)
    parser.add_argument("--windows-batch", required=True)
    parser.add_argument("--wine", required=True)
    args = parser.parse_args()
    linux_batch = os.path.join(args.linux_build, "cli", "kestrix-batch")
    generator = os.path.join(args.linux_build, "examples", "kestrix_make_recording")
    with tempfile.TemporaryDirectory() as root:
        folders = {system: os.path.join(root, system) for system in ("linux", "windows")}
        recording = subprocess.run([generator], capture_output=True, check=True).stdout
        for folder in folders.values():
            os.mkdir(folder)
            with open(os.path.join(folder, NAME + ".csv"), "wb") as stream:
                stream.write(recording)
        commands = {"linux": [linux_batch], "windows": [args.wine, args.windows_batch]}
        for system, command in commands.items():
            printed = run(command + [NAME + ".csv"], folders[system])
            expected = [NAME + suffix for suffix in FIVE]
            if [line.replace("\\", "/").rsplit("/", 1)[-1] for line in printed] != expected:
                sys.exit(f"{system}: printed {printed}, expected the five files {expected}")
            run(command + ["--average", "--points", "4096", NAME + ".csv"], folders[system])
        ok = True
        for suffix in FIVE:
            contents = [open(os.path.join(folders[s], NAME + suffix), "rb").read() for s in ("linux", "windows")]
            same = contents[0] == contents[1]
            print(f"{NAME}{suffix}: {len(contents[0])} bytes, {'identical' if same else 'DIFFERENT'}")
            ok = ok and same
        averaged = [open(os.path.join(folders[s], NAME + "_AVG_SPC.csv"), encoding="utf-8").read()
                    for s in ("linux", "windows")]
        ok = averaged_lines_agree(*averaged) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
