# Kelvra: `make run` builds the program alone and starts it, `make test` builds everything else too
# (the tests, the benchmarks, the cross builds) and runs the whole test suite. Each target first
# installs the Debian packages that it needs and that are missing (tools/install-deps), and no more.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test fuzz soak bench package windows windows-package arm64 arm64-package arm64-test \
        web web-serve web-test bench-web clean

all: build

deps:
	@bash tools/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target kelvra
	./$(BUILD)/kelvra

test:
	@bash tools/install-deps test
	bash tools/run-tests

# Long runs: every fuzz target for FUZZ_SECONDS, and the soak of the real program for SOAK_SECONDS.
FUZZ_SECONDS ?= 3600
SOAK_SECONDS ?= 600
fuzz:
	@bash tools/install-deps test
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash tools/run-tests fuzz

soak:
	@bash tools/install-deps test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target kelvra
	SOAK_SECONDS=$(SOAK_SECONDS) bash tests/e2e/test_soak.sh $(BUILD)/kelvra

# The Debian package, from the normal build: build/kelvra_<version>_<arch>.deb.
package:
	@bash tools/install-deps package
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack --config CPackConfig.cmake

# Kelvra for 64-bit Windows, cross-compiled with MinGW-w64 into build-windows/ (tools/build-windows):
# build-windows/kelvra/kelvra.exe, and with windows-package the zip and the installer beside it.
windows: deps
	@bash tools/install-deps windows
	bash tools/build-windows

windows-package: deps
	@bash tools/install-deps windows
	bash tools/build-windows package

# The arm64 (64-bit ARM) cross build in build-arm64/, with its tests and Debian package; its programs
# run here under QEMU. `make arm64-test` runs the arm64 stage of `make test` alone.
arm64: deps
	@bash tools/install-deps arm64
	bash tools/build-arm64

arm64-package: deps
	@bash tools/install-deps arm64
	bash tools/build-arm64 package

arm64-test:
	@bash tools/install-deps test
	bash tools/run-tests arm64

# Kelvra for the browser, built with Debian 13's emscripten into build-web/ (tools/build-web): the page
# kelvra.html with its programs. `make web-serve` serves it on 127.0.0.1 as a cross-origin isolated page,
# where the kernel computes on threads; `make web-serve WEB_ISOLATION=no` without the headers that allow
# it, as an ordinary web server does, and the page computes on the main thread alone.
WEB_PORT ?= 8000
WEB_ISOLATION ?= yes
web: deps
	@bash tools/install-deps web
	bash tools/build-web

web-serve:
	python3 tools/serve-web --port $(WEB_PORT) $(if $(filter no,$(WEB_ISOLATION)),--no-isolation) build-web

# The web stage of `make test` alone: the page built, its end-to-end test in headless Chromium in both
# flavours, and the bits of turns in node against the native build's.
web-test:
	@bash tools/install-deps test
	bash tools/run-tests web

# Every speed figure in one run, each benchmark kept short: the turn and the camera's per-frame work,
# the kernel against the machine's floor, both star-field drawings, the engine loop as the user runs it
# and what the program costs at rest. The window ones need a display: without one they run under a
# private Xvfb of 1024 x 768 (Mesa llvmpipe); bench_rest.sh always starts its own.
BENCH_MIN_TIME ?= 0.2
BENCH_X := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset")
bench:
	@bash tools/install-deps bench
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DKELVRA_BENCHMARKS=ON
	cmake --build $(BUILD) -j $(JOBS)
	./$(BUILD)/bench/bench_gravity --benchmark_min_time=$(BENCH_MIN_TIME) && ./$(BUILD)/bench/bench_camera --benchmark_min_time=$(BENCH_MIN_TIME)
	./$(BUILD)/bench/bench_kernel
	$(BENCH_X) ./$(BUILD)/bench/bench_starfield --benchmark_min_time=$(BENCH_MIN_TIME)
	$(BENCH_X) ./$(BUILD)/bench/bench_engine
	bash bench/bench_rest.sh $(BUILD)

# The browser's figures beside the native program's, in one run (bench/bench_web.sh): turns a second of
# the page at 1,500 and 10,000 stars in headless Chromium in both flavours, the kernel's time a pair in
# node, the page's download size and its time to the first prompt. Apart from `make bench`, which runs
# on every release in a minute: this one needs the emscripten of Debian 13 and builds the page first.
bench-web:
	@bash tools/install-deps bench
	@bash tools/install-deps web
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DKELVRA_BENCHMARKS=ON
	cmake --build $(BUILD) -j $(JOBS) --target bench_engine bench_pairs
	bash tools/build-web
	cmake --build build-web/threads -j $(JOBS) --target bench_engine bench_pairs
	cmake --build build-web/single -j $(JOBS) --target bench_engine bench_pairs
	bash bench/bench_web.sh $(BUILD) build-web

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-windows build-arm64 build-web
