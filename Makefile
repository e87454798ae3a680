# Top-level entry points. Every target installs what it needs first.
BUILD   ?= build
PRESET  ?= default
CTEST_J ?= 2

.PHONY: deps configure build test gui demo clean

deps:
	@scripts/install-deps.sh

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake --preset $(PRESET)

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
