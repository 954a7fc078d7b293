# The two set-up-and-go commands: each installs what it needs, configures and builds.
BUILD ?= build

.PHONY: run test build setup bench clean

setup:
	@./tools/setup.sh

# The toolchain file counts only when the build folder is first configured;
# given again, CMake warns that it went unused.
TOOLCHAIN = $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)

build: setup
	@cmake -S . -B $(BUILD) $(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2 -- --no-print-directory

run: build
	@./tools/wine-session.sh $(BUILD) run

test: build
	@./tools/wine-session.sh $(BUILD) test

bench: build
	@./tools/wine-session.sh $(BUILD) bench

clean:
	rm -rf $(BUILD)
