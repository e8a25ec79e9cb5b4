# SPDX-License-Identifier: GPL-3.0-or-later
# Kestrix: every target installs what is missing (Debian 12), configures and builds into build/.
BUILD       := build
SANITIZE    := $(BUILD)/sanitize
AARCH64     := $(BUILD)/aarch64
FUZZ        := $(BUILD)/fuzz
WINDOWS     := $(BUILD)/windows
FUZZ_SECONDS   ?= 60
FUZZ_HARNESSES ?= number_text sample_reader spectrum_csv field_checks delimited_text sound_file batch_options
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_WERROR=ON
SOURCES      = $(shell git ls-files '*.cpp' '*.h')

.PHONY: all deps configure build test format format-check test-sanitized cross-check windows windows-test package \
        man-page demo run bench fuzz install clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DKESTRIX_BENCH=OFF

build: configure
	cmake --build $(BUILD)

# The layout check, all tests (window tests offscreen), all tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the engine compiled for aarch64, the Windows build's tests under Wine, and
# the Debian package checked by lintian.
test: format-check build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure
	$(MAKE) --no-print-directory test-sanitized cross-check windows-test package

test-sanitized: deps
	cmake -S . -B $(SANITIZE) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIX_SANITIZE=ON -DKESTRIX_WERROR=ON
	cmake --build $(SANITIZE)
	cd $(SANITIZE) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# The engine has no x86-only code path: it must build for a 64-bit ARM machine too.
cross-check: deps
	cmake -S . -B $(AARCH64) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_WERROR=ON -DKESTRIX_BUILD_UI=OFF \
	      -DKESTRIX_BUILD_TESTS=OFF -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 \
	      -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++
	cmake --build $(AARCH64) --target kestrix_run kestrix_recordings kestrix_view_math kestrix_platform_std kestrix_batch

# The engine and the batch for Windows (MinGW-w64, linked statically) and the zip of kestrix-batch.exe.
windows: deps
	cmake -S . -B $(WINDOWS) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_WERROR=ON -DKESTRIX_BUILD_UI=OFF \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_INSTALL_BINDIR=. \
	      -DKESTRIX_LINUX_BUILD=$(abspath $(BUILD))
	cmake --build $(WINDOWS)
	cd $(WINDOWS) && cpack -G ZIP

# The Windows build's tests under Wine, its five files against the Linux build's among them. Wine now
# and then fails to start a program at all (no output, in a few hundredths of a second), so a test
# that fails is run once more; a test that fails in the program fails both times.
windows-test: build windows
	cd $(WINDOWS) && ctest -j2 --output-on-failure --repeat until-pass:2

# kestrix_VERSION_amd64.deb, then what lintian finds in it (an error fails the target).
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error --info $(BUILD)/kestrix_*_amd64.deb

# Renews the committed manual page of kestrix-batch from its help.
man-page: build
	cmake --build $(BUILD) --target man-page

format: deps
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

# Analyses the bundled recording with the window's start-up defaults, then whole: averaged over
# 4096-point segments (Hann, 50 % overlap: 31 segments).
demo: build
	mkdir -p $(BUILD)/demo
	cp examples/motor.csv $(BUILD)/demo/motor.csv
	$(BUILD)/cli/kestrix-batch $(BUILD)/demo/motor.csv
	$(BUILD)/cli/kestrix-batch --average --points 4096 $(BUILD)/demo/motor.csv

run: build
	$(BUILD)/app/kestrix

# The engine against its yardsticks (the averaged analysis against scipy's Welch method through the
# system's Python too, the transforms against FFTW's), then the spectrum view's redraw (offscreen).
bench:
	@scripts/install-deps.sh
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DKESTRIX_BENCH=ON
	cmake --build $(BUILD)
	$(BUILD)/bench/kestrix_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/kestrix_plot_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/kestrix_spectrogram_bench --repetitions 3
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/kestrix_view_bench --repetitions 3

# Each parser's fuzz harness for FUZZ_SECONDS (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), one after the other; inputs that add coverage join tests/fuzz/corpus/.
fuzz: deps
	FUZZ_BUILD=$(FUZZ) scripts/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_HARNESSES)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD)
