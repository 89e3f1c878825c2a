# Quick start: `make run` and `make test`. Each installs what is missing first.
BUILD     ?= build
BUILD_WIN ?= build-win
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?=

export WINEDEBUG   := -all
export WINEPREFIX  := $(abspath $(BUILD_WIN))/wineprefix
export GTEST_COLOR := no

.PHONY: deps build build-win run test test-native test-win bench clean

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD_WIN)/CMakeCache.txt:
	cmake -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

build-win: deps $(BUILD_WIN)/CMakeCache.txt
	cmake --build $(BUILD_WIN) -j $(JOBS)

run: build
	$(BUILD)/bin/baleport find examples/mailbox

test-native: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Wine prefix is made once, before tests run side by side.
test-win: build-win
	@[ -d "$(WINEPREFIX)" ] || { /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1; /usr/lib/wine/wineserver -w; }
	cd $(BUILD_WIN) && ctest --output-on-failure -j $(JOBS)

# Both targets run the same test sources; the native summary comes last.
test: deps
	$(MAKE) test-win
	$(MAKE) test-native

bench: build
	bench/run

clean:
	rm -rf $(BUILD) $(BUILD_WIN)
