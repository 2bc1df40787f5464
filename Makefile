# Set-up, build and test in one place. `make test` works on a fresh Debian 12 machine.
BUILD ?= build
SANITIZE_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# ccache keys on paths relative to the checkout, so clones and work trees share one cache.
export CCACHE_BASEDIR ?= $(CURDIR)

.PHONY: all deps configure build test test-plain test-sanitize run demo bench package clean format

all: build

deps:
	@sh tools/scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Every test twice: in the normal build, then in a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer.
test: test-plain test-sanitize

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

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
	rm -rf $(BUILD) $(SANITIZE_BUILD)
