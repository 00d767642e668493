# Kelvra: `make run` builds and starts the program, `make test` runs the whole test suite.
# Both first install whatever Debian packages are missing.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test bench package clean

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

# The Debian package, from the normal build: build/kelvra_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack --config CPackConfig.cmake

bench: build
	./$(BUILD)/bench_gravity

clean:
	rm -rf $(BUILD) build-asan build-fuzz
