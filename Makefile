# Kestrix: every target installs what is missing (Debian 12), configures and builds into build/.
BUILD       := build
SANITIZE    := $(BUILD)/sanitize
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_BENCH=ON

.PHONY: all deps configure build test demo run bench install clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

# All tests, then the engine tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure
	cmake -S . -B $(SANITIZE) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIX_SANITIZE=ON -DKESTRIX_BUILD_UI=OFF
	cmake --build $(SANITIZE) --target kestrix_engine_tests
	cd $(SANITIZE) && ctest --output-on-failure

# Analyses the bundled recording with the window's start-up defaults.
demo: build
	mkdir -p $(BUILD)/demo
	cp examples/motor.csv $(BUILD)/demo/motor.csv
	$(BUILD)/cli/kestrix-batch $(BUILD)/demo/motor.csv

run: build
	$(BUILD)/app/kestrix

# The engine against its yardsticks, then the spectrum view's redraw (offscreen).
bench: build
	$(BUILD)/bench/kestrix_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/kestrix_plot_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD)
