#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Quick start on a fresh Debian 12 machine: installs make, the compilers and every other package
# Kestrix needs when they are missing (apt-get, as root or through sudo), then runs make with the
# given targets, e.g. "./make.sh demo" or "./make.sh test".
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
exec make "$@"
