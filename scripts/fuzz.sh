#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the parsers' fuzz harnesses one after the other, each for SECONDS under libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer, then merges what the run found into the corpus kept
# in the repository (tests/fuzz/corpus/HARNESS/), keeping only inputs that add coverage. Hand-written
# seeds (seed-*) and the inputs that once found a fault (fault-*) always stay.
#   scripts/fuzz.sh [SECONDS [HARNESS...]]     (FUZZ_BUILD: the build folder, default build/fuzz)
# A broken property or a sanitizer report stops the script with the fuzzer's report and the input.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
harnesses=("$@")
if [ "${#harnesses[@]}" -eq 0 ]; then
    harnesses=(number_text sample_reader spectrum_csv field_checks delimited_text sound_file batch_options)
fi
build=${FUZZ_BUILD:-$root/build/fuzz}
case "$build" in /*) ;; *) build=$root/$build ;; esac

# The harnesses that read files keep a scratch file in TMPDIR; libFuzzer's exit may skip their own
# clean-up, so the folder is the script's, in memory where there is /dev/shm.
scratch_parent=/dev/shm
[ -d "$scratch_parent" ] || scratch_parent=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_parent/kestrix-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DKESTRIX_FUZZ=ON -DKESTRIX_BUILD_UI=OFF -DKESTRIX_WERROR=ON >/dev/null
cmake --build "$build" --target kestrix_fuzzers

for harness in "${harnesses[@]}"; do
    fuzzer=$build/tests/fuzz/kestrix_fuzz_$harness
    corpus=$root/tests/fuzz/corpus/$harness
    work=$build/work/$harness
    artifacts=$build/artifacts/$harness
    rm -rf "$work"
    mkdir -p "$work/found" "$work/merged" "$artifacts" "$corpus"
    echo "== $harness: ${seconds} s"
    # One process on one core: the found inputs go to a scratch folder, the corpus is only read.
    if ! TMPDIR=$scratch "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
            -dict="$root/tests/fuzz/numbers.dict" -artifact_prefix="$artifacts/" \
            "$work/found" "$corpus" >"$work/fuzz.log" 2>&1; then
        grep -v -E '^#[0-9]+' "$work/fuzz.log" | tail -40
        echo "fuzz: $harness broke a property or a sanitizer fired; the input is in $artifacts/" >&2
        echo "fuzz: minimise it with $fuzzer -minimize_crash=1 -runs=100000 INPUT, mend the fault and" >&2
        echo "fuzz: keep the minimised input as $corpus/fault-NAME" >&2
        exit 1
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' \
        "$work/fuzz.log"
    # Only inputs that add coverage beyond the seeds and the fault inputs are kept.
    find "$corpus" -maxdepth 1 -type f \( -name 'seed-*' -o -name 'fault-*' \) -exec cp {} "$work/merged/" \;
    TMPDIR=$scratch "$fuzzer" -merge=1 "$work/merged" "$corpus" "$work/found" >"$work/merge.log" 2>&1
    find "$corpus" -maxdepth 1 -type f ! -name 'seed-*' ! -name 'fault-*' -delete
    find "$work/merged" -maxdepth 1 -type f ! -name 'seed-*' ! -name 'fault-*' -exec cp {} "$corpus/" \;
    echo "$harness corpus: $(find "$corpus" -type f | wc -l) files, $(cat "$corpus"/* | wc -c) bytes"
done
