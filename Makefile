# Two commands for a fresh Debian 12 machine:
#   make run    set up, build, and run the main job
#   make test   set up, build, and run every test (normal build, then the
#               sanitizer build with the short fuzzing run)
.PHONY: run test setup build build-asan bench clean

setup:
	@bash scripts/setup

build: setup
	@cmake --preset dev >/dev/null
	@cmake --build --preset dev

build-asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan

run: build
	@bash scripts/run

test: build build-asan
	ctest --preset dev
	ctest --preset asan

bench: build
	./build/bench/tessaly_bench

clean:
	rm -rf build build-asan
