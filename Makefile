# Set-up, build and test in one place. `make test` works on a fresh Debian 12 machine.
BUILD ?= build
SANITIZE_BUILD ?= build-asan
WINDOWS_BUILD ?= build-windows
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# ccache keys on paths relative to the checkout, so clones and work trees share one cache.
export CCACHE_BASEDIR ?= $(CURDIR)

.PHONY: all deps configure build test test-share test-plain test-sanitize test-windows windows run-windows run demo bench \
	package clean format

all: build

deps:
	@sh tools/scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Every test three times: in the normal build, in a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and in the Windows build under Wine (against the normal build's
# stand-in, on loopback).
test: test-share test-plain test-sanitize test-windows

# The tests' size against the code's: fails when the tests grow past 38% of it.
test-share:
	python3 tools/scripts/test-share.py

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# The program for 64-bit Windows, with its zip and installer, in $(WINDOWS_BUILD)/.
windows: build
	WINDOWS_BUILD=$(WINDOWS_BUILD) HOST_BUILD=$(BUILD) JOBS=$(JOBS) sh tools/windows/build.sh

test-windows: windows
	sh tools/windows/wine-prefix.sh $(WINDOWS_BUILD)
	cd $(WINDOWS_BUILD) && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j $(JOBS)

# The Windows build under Wine, in the build's own prefix, on the current display.
run-windows: windows
	$(WINDOWS_BUILD)/wine-run.sh $(WINDOWS_BUILD)/bin/quorvane.exe

run: build
	./$(BUILD)/bin/quorvane

demo: build
	BUILD=$(BUILD) sh tools/scripts/demo.sh

bench: build
	cmake --build $(BUILD) --target quorvane_bench -j $(JOBS)
	./$(BUILD)/bench/quorvane_bench

package: build
	cd $(BUILD) && cpack -G DEB

format:
	find src tests tools -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD)
