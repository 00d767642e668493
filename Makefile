# Kelvra: `make run` builds and starts the program, `make test` runs the whole test suite.
# Both first install whatever Debian packages are missing.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test fuzz soak bench package clean

all: build

deps:
	@bash tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kelvra

test: deps
	bash tools/run-tests

# Long runs: every fuzz target for FUZZ_SECONDS, and the soak of the real program for SOAK_SECONDS.
FUZZ_SECONDS ?= 3600
SOAK_SECONDS ?= 600
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash tools/run-tests fuzz

soak: build
	SOAK_SECONDS=$(SOAK_SECONDS) bash tests/e2e/test_soak.sh $(BUILD)/kelvra

# The Debian package, from the normal build: build/kelvra_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack --config CPackConfig.cmake

bench: build
	./$(BUILD)/bench_gravity

clean:
	rm -rf $(BUILD) build-asan build-fuzz
