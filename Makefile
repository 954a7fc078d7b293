# The two set-up-and-go commands: each installs what it needs, configures and builds.
BUILD ?= build

.PHONY: run test build setup bench clean

setup:
	@./tools/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2 -- --no-print-directory

run: build
	@./tools/wine-session.sh $(BUILD) run

test: build
	@./tools/wine-session.sh $(BUILD) test

bench: build
	@./tools/wine-session.sh $(BUILD) bench

clean:
	rm -rf $(BUILD)
