# Thin wrapper over the CMake presets. `make run` and `make test` install what is missing first.
SHELL := /bin/bash
.DEFAULT_GOAL := build

SCENARIO ?= com3-unit

# The Windows build the Wine tests and `make run` use, decided once per run: windows, the 32-bit
# release, where this machine runs 32-bit programs; windows64, the same sources for x86_64 in a
# 64-bit Wine prefix, where its kernel cannot. VELMARIS_WIN64=1 forces the latter.
ifndef VELMARIS_WINE_BUILD
VELMARIS_WINE_BUILD := $(shell tools/wine-build)
endif
export VELMARIS_WINE_BUILD
WINE_PRESET := $(firstword $(VELMARIS_WINE_BUILD))
WINE_REASON := $(wordlist 2,$(words $(VELMARIS_WINE_BUILD)),$(VELMARIS_WINE_BUILD))

# Runs make again once the packages are in, with the Windows build decided anew: where Debian's
# 32-bit Wine could not be installed, tools/wine-build then takes the 64-bit path.
again = VELMARIS_WINE_BUILD="$$(tools/wine-build)" $(MAKE) --no-print-directory

# $(call failed,what,where): the words a failed step ends with, instead of a bare exit code.
failed = { echo "make: $(1) failed; $(2)" >&2; exit 1; }
compiler_said = the compiler's messages are above
tests_said = the failing tests are named above, their whole output is in $(1)/Testing/Temporary/LastTest.log

.PHONY: deps build build-native build-sanitize build-windows build-windows64 build-wine test \
        test-unit test-sanitize test-wine run run-now dist clean fuzz soak soak-now bench

deps:
	@tools/install-deps.sh $(WINE_PRESET) || \
	  $(call failed,installing the packages,mend what install-deps says and run make again)

build: deps build-native build-windows build-wine

build-native:
	@cmake --preset native >/dev/null || $(call failed,configuring the native build,see above)
	@cmake --build --preset native || $(call failed,the native build,$(compiler_said))

build-sanitize:
	@cmake --preset sanitize >/dev/null || $(call failed,configuring the sanitizer build,see above)
	@cmake --build --preset sanitize || $(call failed,the sanitizer build,$(compiler_said))

# The 32-bit release build, with its tests.
build-windows:
	@cmake --preset windows >/dev/null || $(call failed,configuring the 32-bit Windows build,see above)
	@cmake --build --preset windows || $(call failed,the 32-bit Windows build,$(compiler_said))

# The 64-bit test build, for machines that cannot run 32-bit programs; never shipped.
build-windows64:
	@cmake --preset windows64 >/dev/null || $(call failed,configuring the 64-bit Windows build,see above)
	@cmake --build --preset windows64 || $(call failed,the 64-bit Windows build,$(compiler_said))

# The build the Wine tests use. On the 64-bit path the release file is still built, for the
# tests that read it.
ifeq ($(WINE_PRESET),windows64)
build-wine: build-windows64
	@cmake --preset windows >/dev/null || $(call failed,configuring the 32-bit Windows build,see above)
	@cmake --build --preset windows --target VelmarisDiag || \
	  $(call failed,the 32-bit release build,$(compiler_said))
else
build-wine: build-windows
endif

test-unit: build-native
	@ctest --preset native || $(call failed,the native unit tests,$(call tests_said,build/native))

test-sanitize: build-sanitize
	@ctest --preset sanitize || \
	  $(call failed,the unit tests under the sanitizers,$(call tests_said,build/sanitize))

test-wine: build-wine
	@echo "Windows tests on build/$(WINE_PRESET): $(WINE_REASON)."
ifeq ($(WINE_PRESET),windows64)
	@ctest --preset windows-release || \
	  $(call failed,the tests of the 32-bit release file,$(call tests_said,build/windows))
endif
	@ctest --preset $(WINE_PRESET) || \
	  $(call failed,the Windows tests under Wine,$(call tests_said,build/$(WINE_PRESET)))

# Unit tests natively and under the sanitizers, then the Windows tests under Wine.
test: deps
	@$(again) test-unit test-sanitize test-wine

# Runs each libFuzzer target for FUZZ_SECONDS from the seeds in tests/fuzz/corpus/; what it learns
# stays in build/fuzz/corpus/, crashing inputs land in build/fuzz/findings/.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	@for target in conversions report component; do \
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
soak: deps
	@$(again) soak-now

soak-now: build-native build-wine
	@ctest --test-dir build/native -L soak --output-on-failure || \
	  $(call failed,the core soak,$(call tests_said,build/native))
	@ctest --test-dir build/$(WINE_PRESET) -L soak -j2 --output-on-failure --timeout 900 || \
	  $(call failed,the Wine soak,$(call tests_said,build/$(WINE_PRESET)))

# Starts the tool under Wine against the simulated component (SCENARIO names a file of
# tests/simulator/scenarios/); without a display it runs under Xvfb and saves a screenshot.
run: deps
	@$(again) run-now

run-now: build-wine
	@tools/run.sh "$(SCENARIO)" build/$(WINE_PRESET) || \
	  $(call failed,starting the tool under Wine,the reason is above)

# Figures of the Windows build under Wine (start-up, size, calls per tick, memory); not a test.
bench: deps build-wine
	@cmake --build --preset $(WINE_PRESET) --target bench_programs || \
	  $(call failed,building the benchmark's programs,$(compiler_said))
	@tools/bench.py 10 build/$(WINE_PRESET) || $(call failed,the benchmark,the reason is above)

# Always the 32-bit file: the maker's component is a 32-bit in-process server, which a 64-bit
# process cannot load. Builds the program alone, then prints the file's SHA-256 and the tools.
dist: deps
	@cmake --preset windows >/dev/null || $(call failed,configuring the 32-bit Windows build,see above)
	@cmake --build --preset windows --target dist || \
	  $(call failed,making the release file,the reason is above)

clean:
	rm -rf build dist
