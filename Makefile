# The two commands of the README: `make demo` and `make test`. Both install what is missing first.
# `make install PREFIX=...` installs the programs (DESTDIR is honoured); `make package` builds the
# Debian package in $(BUILD)/.
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
SAMPLE := $(BUILD)/sample

# The sanitizer build: address, leak and undefined-behaviour checks on the tests of every
# window-free folder and of orvanta-cli and orvantajpeg (set ASAN_OPTIONS=detect_leaks=0 should
# LeakSanitizer fail to run on a machine). The windows (ui, app), the picture control with its
# examples and the benchmarks stay out so that CI stays within minutes; they pass too:
# make test-sanitize SANITIZE_SKIP="control;examples;bench" takes about twice as long.
# ccache is used when it is installed.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_SKIP ?= control;examples;bench;ui;app
ASAN_OPTIONS ?= detect_leaks=1
# tests/lsan.supp names the system libraries' own leaks (D-Bus under the X server's tests).
SANITIZE_ENV := ASAN_OPTIONS=$(ASAN_OPTIONS) UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp
CCACHE := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps configure build test demo run bench install package clean test-sanitize fuzz

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(SAMPLE)/sample01.bmp: build
	@$(BUILD)/bin/make-sample-series $(SAMPLE)

demo: build $(SAMPLE)/sample01.bmp
	@$(BUILD)/bin/orvanta-cli -i 20 --map $(SAMPLE)/montage-map.txt $(SAMPLE)/sample01.bmp
	@echo "Montage written to $(abspath $(SAMPLE))/sample01 montage.bmp"
	@echo "Dominant-image map written to $(abspath $(SAMPLE))/montage-map.txt"

run: build $(SAMPLE)/sample01.bmp
	@if [ -x $(BUILD)/bin/orvanta ]; then $(BUILD)/bin/orvanta "$(abspath $(SAMPLE))/sample01.bmp"; \
	 else echo "the desktop program is not built yet"; exit 1; fi

bench: build
	@bench/run

install: build
	@cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	@cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/*.deb

test-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DORVANTA_SKIP="$(SANITIZE_SKIP)" $(CCACHE) > /dev/null
	@$(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

# libFuzzer targets built with clang, each run for FUZZ_SECONDS (default 60); see fuzz/run.
fuzz:
	@scripts/install-deps fuzz
	@fuzz/run

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-fuzz
