# Top-level entry points. Every target installs what it needs first: the
# packages of scripts/install-deps.sh when the build is configured, the
# extras of a target when it runs.
BUILD   ?= build
PRESET  ?= default
CTEST_J ?= 2

.PHONY: deps configure build test gui demo package package-check clean

deps:
	@scripts/install-deps.sh

configure:
	@[ -f $(BUILD)/build.ninja ] || { scripts/install-deps.sh && cmake --preset $(PRESET) -B $(BUILD); }

build: configure
	cmake --build $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(CTEST_J) --timeout 300

gui: build
	@scripts/install-deps.sh xvfb xauth
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then $(BUILD)/bin/qrb-flash; \
	 else xvfb-run -a $(BUILD)/bin/qrb-flash; fi

demo: build
	@BUILD=$(BUILD) scripts/demo.sh

# The Debian packages, $(BUILD)/qrb-flash-cli_<version>_<arch>.deb (the
# command-line program and the simulator) and $(BUILD)/qrb-flash_<version>_<arch>.deb
# (the desktop program).
package: build
	@scripts/install-deps.sh dpkg-dev file appstream
	cmake --build $(BUILD) --target package

# Checks both packages (lintian, hardening, the CLI's dependencies), installs
# the CLI package alone and then both, uses them, removes them again (root).
package-check: package
	scripts/package-check.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# ---- Hardening: Windows cross build of the core ----
WINDOWS_BUILD ?= build-windows

.PHONY: windows-test

# The std-only core and its unit tests, cross-compiled with mingw-w64 and run under wine.
windows-test:
	@scripts/install-deps.sh mingw-w64 wine wine64 googletest
	@[ -f $(WINDOWS_BUILD)/build.ninja ] || cmake --preset windows -B $(WINDOWS_BUILD)
	cmake --build $(WINDOWS_BUILD) --target unit_tests
	cd $(WINDOWS_BUILD) && ctest -L windows --output-on-failure --timeout 600

# ---- Hardening: fuzzing (libFuzzer, clang 14) ----
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_WORK    ?= fuzz-corpus

.PHONY: fuzz fuzz-short

# Each fuzz target for FUZZ_SECONDS; the corpus grows in FUZZ_WORK between runs.
fuzz:
	@scripts/install-deps.sh clang-14 libclang-rt-14-dev
	@[ -f $(FUZZ_BUILD)/build.ninja ] || cmake --preset fuzz -B $(FUZZ_BUILD)
	cmake --build $(FUZZ_BUILD) --target fuzz_s19_file fuzz_board_replies
	tests/fuzz/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_WORK)

fuzz-short:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=60

# ---- Hardening: sanitizers, soak, benchmarks ----
SANITIZE_BUILD ?= build-sanitize
SOAK_RUNS      ?= 500
SOAK_START      ?= 20261206

.PHONY: sanitize-test soak soak-short bench

# The whole product with AddressSanitizer and UndefinedBehaviorSanitizer: unit,
# end-to-end, GUI and fuzz-corpus tests.
sanitize-test: deps
	@[ -f $(SANITIZE_BUILD)/build.ninja ] || cmake --preset sanitize -B $(SANITIZE_BUILD)
	cmake --build $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(CTEST_J) --timeout 600

# SOAK_RUNS runs through the CLI against the simulated board, faults drawn from SOAK_START.
soak: configure
	cmake --build $(BUILD) --target qrb-flash-cli qrb-board-sim
	tests/soak/soak.sh $(BUILD)/bin $(SOAK_RUNS) $(SOAK_START)

soak-short:
	@$(MAKE) --no-print-directory soak SOAK_RUNS=20

# Figures only (bench/RESULTS.md); never fails on a timing.
bench: configure
	@scripts/install-deps.sh libbenchmark-dev time
	cmake -S . -B $(BUILD) >/dev/null
	cmake --build $(BUILD) --target qrb-flash-cli qrb-board-sim qrb_bench qrb_list_bench
	bench/run-bench.sh $(BUILD)/bin bench/RESULTS.md
