# The two set-up-and-go commands: each installs what it needs, configures and builds.
BUILD ?= build
# The portable core for this machine: kalvex-find, the core with the
# sanitizers and its tests, and (clang) the reader's fuzz target.
NATIVE = $(BUILD)/native
ASAN = $(BUILD)/asan
FUZZ = $(BUILD)/fuzz
FUZZ_SECONDS ?= 60

PREFIX ?= /usr/local

.PHONY: run test build setup bench fuzz install clean

setup:
	@./tools/setup.sh

# The toolchain file counts only when the build folder is first configured;
# given again, CMake warns that it went unused.
TOOLCHAIN = $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)

build: setup
	@cmake -S . -B $(NATIVE) -DKALVEX_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j2 -- --no-print-directory
	@cmake -S . -B $(BUILD) $(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	    -DKALVEX_NATIVE_FIND=$(abspath $(NATIVE))/kalvex-find >/dev/null
	@cmake --build $(BUILD) -j2 -- --no-print-directory
	@cmake -S . -B $(ASAN) -DKALVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(ASAN) -j2 -- --no-print-directory

run: build
	@./tools/wine-session.sh $(BUILD) run

# The Wine tests first: they boot the prefix whose system folder the native
# tests read too.
test: build
	@./tools/wine-session.sh $(BUILD) test
	@ctest --test-dir $(ASAN) --output-on-failure

bench: build
	@./tools/wine-session.sh $(BUILD) bench
	@./tools/bench-find.sh $(NATIVE) $(BUILD)/wine-test/drive_c/windows/system32 $(BUILD)/bench-corpus

# Runs the reader's libFuzzer target for FUZZ_SECONDS over the seed corpus
# (the image builder's images) and the kept inputs; a finding is written into
# tests/fuzz/corpus, where the native tests replay it.
fuzz: setup
	@./tools/setup.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DKALVEX_SANITIZE=ON -DKALVEX_FUZZ=ON -DKALVEX_TESTS=OFF \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ) -j2 -- --no-print-directory
	@mkdir -p $(FUZZ)/corpus
	@$(FUZZ)/kalvex_fuzz_seeds $(FUZZ)/corpus
	@$(FUZZ)/kalvex_reader_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	    -artifact_prefix=tests/fuzz/corpus/crash- $(FUZZ)/corpus tests/fuzz/corpus

install: build
	@cmake --install $(NATIVE) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
