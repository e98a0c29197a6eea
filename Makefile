# Convenience entry points; the real build is CMake.
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: all deps configure build test test-fast test-sanitized demo clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The whole suite, then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
test: test-fast test-sanitized

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitized: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDURIV_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	./scripts/demo.sh $(BUILD)/duriv

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
