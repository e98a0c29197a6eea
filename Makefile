# Convenience entry points; the real build is CMake.
JOBS ?= 2
BUILD ?= build

.PHONY: all deps configure build test demo clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	./scripts/demo.sh $(BUILD)/duriv

clean:
	rm -rf $(BUILD)
