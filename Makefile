# Quick start: `make run` and `make test`. Each installs what is missing first.
BUILD     ?= build
BUILD_WIN ?= build-win
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?=

export WINEDEBUG   := -all
export WINEPREFIX  := $(abspath $(BUILD_WIN))/wineprefix
export GTEST_COLOR := no

.PHONY: deps build build-win run test test-native test-win bench clean fuzz

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
	rm -f $(BUILD)/example.pst $(BUILD)/example.log
	$(BUILD)/bin/baleport convert examples/mailbox -o $(BUILD)/example.pst
	$(BUILD)/bin/baleport list $(BUILD)/example.pst

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

.PHONY: gui screenshots

# Builds the wizard and opens it on this display.
gui: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport-gui -j $(JOBS)
	$(BUILD)/bin/baleport-gui

# Renders every wizard page to $(BUILD)/screenshots/<page>.png; needs no display.
screenshots: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport-screenshots -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/baleport-screenshots $(BUILD)/screenshots

# The .msg reader under libFuzzer for FUZZ_SECONDS, from generated messages and the kept
# regressions; a crash leaves its input in $(BUILD_FUZZ)/ (copy it to msg/tests/regressions/).
# Then opening a store for extension, as long, from an engine-made store, the sample stores
# (read in place) and the kept regressions; a crash leaves $(BUILD_FUZZ)/store-crash-*
# (copy it to proof/fuzz/regressions/).
BUILD_FUZZ   ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -DBALEPORT_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_FUZZ) --target msg_fuzzer store_fuzzer baleport-mailbox baleport -j $(JOBS)
	rm -rf $(BUILD_FUZZ)/fuzz-seeds
	$(BUILD_FUZZ)/bin/baleport-mailbox $(BUILD_FUZZ)/fuzz-seeds --messages 24 --seed 1 --max-attachment 6000 --max-body 800
	mkdir -p $(BUILD_FUZZ)/fuzz-corpus
	ASAN_OPTIONS=fast_unwind_on_malloc=0 LSAN_OPTIONS=suppressions=$(abspath msg/fuzz/lsan.supp) \
	$(BUILD_FUZZ)/bin/msg_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=1024 -max_len=65536 \
	  -artifact_prefix=$(BUILD_FUZZ)/ $(BUILD_FUZZ)/fuzz-corpus $(BUILD_FUZZ)/fuzz-seeds msg/tests/regressions
	rm -rf $(BUILD_FUZZ)/store-seeds
	mkdir -p $(BUILD_FUZZ)/store-seeds $(BUILD_FUZZ)/store-corpus
	ASAN_OPTIONS=detect_leaks=0 $(BUILD_FUZZ)/bin/baleport convert --quiet examples/mailbox -o $(BUILD_FUZZ)/store-seeds/example.pst
	ASAN_OPTIONS=fast_unwind_on_malloc=0 \
	$(BUILD_FUZZ)/bin/store_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=1024 -max_len=300000 \
	  -artifact_prefix=$(BUILD_FUZZ)/store- $(BUILD_FUZZ)/store-corpus $(BUILD_FUZZ)/store-seeds \
	  $(wildcard ../shared/samples/pst) proof/fuzz/regressions

clean:
	rm -rf $(BUILD) $(BUILD_WIN)
