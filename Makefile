# Shortcuts for those who have make; ./run and ./test need only bash.
.PHONY: run test package bench clean

run:
	@./run

test:
	@./test

package:
	@bash scripts/package

bench:
	@bash scripts/setup
	@cmake --preset dev >/dev/null
	@cmake --build --preset dev
	./build/bench/tessaly_bench

clean:
	rm -rf build build-asan build-release
