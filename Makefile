# Thin wrapper over the CMake presets. `make run` and `make test` install what is missing first.
SHELL := /bin/bash
.DEFAULT_GOAL := build

SCENARIO ?= com3-unit

.PHONY: deps build build-native build-sanitize build-windows test test-unit test-sanitize \
        test-wine run dist clean fuzz soak bench

deps:
	@tools/install-deps.sh

build: deps build-native build-windows

build-native:
	cmake --preset native >/dev/null
	cmake --build --preset native

build-sanitize:
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize

build-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows

test-unit: build-native
	ctest --preset native

test-sanitize: build-sanitize
	ctest --preset sanitize

test-wine: build-windows
	ctest --preset windows

# Unit tests natively and under the sanitizers, then the Windows tests under Wine.
test: deps
	$(MAKE) --no-print-directory test-unit test-sanitize test-wine

# Runs each libFuzzer target for FUZZ_SECONDS from the seeds in tests/fuzz/corpus/; what it learns
# stays in build/fuzz/corpus/, crashing inputs land in build/fuzz/findings/.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	@for target in conversions report; do \
	  mkdir -p build/fuzz/corpus/$$target build/fuzz/findings && \
	  build/fuzz/tests/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/findings/$$target- \
	    build/fuzz/corpus/$$target tests/fuzz/corpus/$$target 2>build/fuzz/$$target.log; \
	  status=$$?; grep -E '^(stat::number_of_executed_units|Done|SUMMARY|invariant broken)' \
	    build/fuzz/$$target.log | sed "s/^/$$target: /"; \
	  [ $$status -eq 0 ] || { echo "$$target: see build/fuzz/$$target.log"; exit 1; }; \
	done

# The long memory and handle soaks (an hour of ticks in the core, minutes of the real program
# under Wine); not part of `make test`.
soak: deps build-native build-windows
	ctest --test-dir build/native -L soak --output-on-failure
	ctest --test-dir build/windows -L soak -j2 --output-on-failure --timeout 900

# Starts the tool under Wine against the simulated component (SCENARIO names a file of
# tests/simulator/scenarios/); without a display it runs under Xvfb and saves a screenshot.
run: deps build-windows
	@tools/run.sh "$(SCENARIO)"

# Figures of the Windows build under Wine (start-up, size, calls per tick, memory); not a test.
bench: deps build-windows
	cmake --build --preset windows --target bench_programs
	@tools/bench.py

dist: deps build-windows
	mkdir -p dist
	cp build/windows/bin/VelmarisDiag.exe dist/VelmarisDiag.exe
	i686-w64-mingw32-strip dist/VelmarisDiag.exe
	@echo "dist/VelmarisDiag.exe"

clean:
	rm -rf build dist
