# The two commands of the README: `make demo` and `make test`. Both install what is missing first.
# `make install PREFIX=...` installs the programs (DESTDIR is honoured); `make package` builds the
# Debian package in $(BUILD)/.
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
SAMPLE := $(BUILD)/sample

.PHONY: all deps configure build test demo run bench install package clean

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

clean:
	rm -rf $(BUILD)
