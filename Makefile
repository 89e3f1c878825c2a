# Quick start: `make run` and `make test`. Each installs what is missing first.
BUILD     ?= build
PREFIX    ?= /usr/local
DESTDIR   ?=
BUILD_WIN ?= build-win
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?=

export WINEDEBUG   := -all
export WINEPREFIX  := $(abspath $(BUILD_WIN))/wineprefix
export GTEST_COLOR := no

.PHONY: deps build build-win dist-win run test test-native test-win bench clean fuzz install deb deb-check

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

# The Windows programs, and in $(BUILD_WIN)/ what a Windows user downloads: the portable zip
# tamsel-baleport-<version>-windows-x64.zip and the installer tamsel-baleport-<version>-setup.exe.
dist-win: deps $(BUILD_WIN)/CMakeCache.txt
	cmake --build $(BUILD_WIN) --target dist -j $(JOBS)

# Builds only the program it runs.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport -j $(JOBS)
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

# The programs, their man pages, bash completion, desktop entry, icon and help page under
# $(DESTDIR)$(PREFIX).
install: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport baleport-gui -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, $(BUILD)/tamsel-baleport_<version>_<arch>.deb.
deb: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport baleport-gui -j $(JOBS)
	cd $(BUILD) && cpack -G DEB

# Installs that package into a bare Debian bookworm (debootstrap; needs root and the
# network) and uses it there. Not part of `make test`: the first run downloads the system.
deb-check: deb
	packaging/deb-check $(BUILD)

.PHONY: gui screenshots screenshots-win

# Builds the wizard and opens it on this display.
gui: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport-gui -j $(JOBS)
	$(BUILD)/bin/baleport-gui

# Shows every Win32 page under Wine on its own Xvfb and reads it back to
# $(BUILD_WIN)/screenshots/<page>.png.
screenshots-win: deps $(BUILD_WIN)/CMakeCache.txt
	cmake --build $(BUILD_WIN) --target baleport-screenshots -j $(JOBS)
	@[ -d "$(WINEPREFIX)" ] || { /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1; /usr/lib/wine/wineserver -w; }
	rm -rf $(BUILD_WIN)/screenshots
	xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 $(BUILD_WIN)/bin/baleport-screenshots.exe $(BUILD_WIN)/screenshots
	python3 wizard/win32/bmp_to_png.py $(BUILD_WIN)/screenshots/*.bmp

# Renders every wizard page to $(BUILD)/screenshots/<page>.png; needs no display.
screenshots: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target baleport-screenshots -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/baleport-screenshots $(BUILD)/screenshots

# The .msg reader and opening a store for extension, side by side under libFuzzer for
# FUZZ_SECONDS (at nice 19), continuing from the corpus kept in $(BUILD_FUZZ)/msg-corpus and store-corpus.
# Each session's runs are added to $(BUILD_FUZZ)/msg-runs and store-runs, and the totals
# printed. A finding leaves $(BUILD_FUZZ)/msg-<kind>-* or store-<kind>-* (crash, leak, timeout,
# oom): minimise it (-minimize_crash=1) into msg/tests/regressions/ or proof/fuzz/regressions/.
# Store seeds are small stores the engine makes, cut before the zeros they end with (the target
# puts them back), and the sample stores, read in place (their bytes end before 176 KB).
BUILD_FUZZ   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS   := -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
# Adds the runs of the session just ended (in $(BUILD_FUZZ)/<name>.log) to the tally, prints the
# total, and fails with the log's end if the session found something.
fuzz_tally = sed -n 's/^stat::number_of_executed_units: *//p' $(BUILD_FUZZ)/$(1).log >> $(BUILD_FUZZ)/$(1)-runs; \
	awk '{ n += $$1 } END { print "$(1)_fuzzer: " n + 0 " runs in all sessions" }' $(BUILD_FUZZ)/$(1)-runs; \
	s=$$(cat $(BUILD_FUZZ)/$(1).status); if [ $$s -ne 0 ]; then tail -n 60 $(BUILD_FUZZ)/$(1).log; fi; [ $$s -eq 0 ]
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -DBALEPORT_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_FUZZ) --target msg_fuzzer store_fuzzer baleport-mailbox baleport -j $(JOBS)
	rm -rf $(BUILD_FUZZ)/msg-seeds $(BUILD_FUZZ)/store-seeds $(BUILD_FUZZ)/store-mailboxes
	mkdir -p $(BUILD_FUZZ)/msg-corpus $(BUILD_FUZZ)/store-corpus $(BUILD_FUZZ)/store-seeds
	$(BUILD_FUZZ)/bin/baleport-mailbox $(BUILD_FUZZ)/msg-seeds --messages 24 --seed 1 --max-attachment 6000 --max-body 800
	for n in 1 4 12; do \
	  $(BUILD_FUZZ)/bin/baleport-mailbox $(BUILD_FUZZ)/store-mailboxes/$$n --messages $$n --seed $$n --small-tree \
	    --max-attachment 3000 --max-body 400 >/dev/null && \
	  ASAN_OPTIONS=detect_leaks=0 $(BUILD_FUZZ)/bin/baleport convert --quiet $(BUILD_FUZZ)/store-mailboxes/$$n \
	    -o $(BUILD_FUZZ)/store-seeds/m$$n.pst || exit 1; \
	done
	ASAN_OPTIONS=detect_leaks=0 $(BUILD_FUZZ)/bin/baleport convert --quiet examples/mailbox -o $(BUILD_FUZZ)/store-seeds/example.pst
	rm -f $(BUILD_FUZZ)/store-seeds/*.log
	python3 -c 'import sys; [open(f, "r+b").truncate(len(open(f, "rb").read().rstrip(b"\0"))) for f in sys.argv[1:]]' \
	  $(BUILD_FUZZ)/store-seeds/*.pst
	{ nice -n 19 $(BUILD_FUZZ)/bin/msg_fuzzer -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) -max_len=65536 \
	  -artifact_prefix=$(BUILD_FUZZ)/msg- $(BUILD_FUZZ)/msg-corpus $(BUILD_FUZZ)/msg-seeds msg/tests/regressions \
	  $(wildcard ../shared/samples/msg) \
	  > $(BUILD_FUZZ)/msg.log 2>&1; echo $$? > $(BUILD_FUZZ)/msg.status; } & \
	{ nice -n 19 $(BUILD_FUZZ)/bin/store_fuzzer -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) -max_len=196608 \
	  -artifact_prefix=$(BUILD_FUZZ)/store- $(BUILD_FUZZ)/store-corpus $(BUILD_FUZZ)/store-seeds \
	  $(wildcard ../shared/samples/pst) proof/fuzz/regressions > $(BUILD_FUZZ)/store.log 2>&1; \
	  echo $$? > $(BUILD_FUZZ)/store.status; } & \
	wait
	$(call fuzz_tally,msg); m=$$?; $(call fuzz_tally,store) && [ $$m -eq 0 ]

clean:
	rm -rf $(BUILD) $(BUILD_WIN)
