# The two commands of the README: `make demo` and `make test`. Both install what is missing first.
.PHONY: all deps demo test build-release build-asan bench fuzz format clean

all: build-release

deps:
	@bash scripts/deps.sh

build-release: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release

build-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan

demo: build-release
	@bash scripts/demo.sh build/release

test: build-asan
	@ctest --preset asan

bench: build-release
	@bash bench/run.sh build/release

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz --target fuzzers
	@bash fuzz/run.sh build/fuzz

format:
	@git ls-files '*.cpp' '*.hpp' '*.h' '*.c' | xargs clang-format -i

clean:
	@rm -rf build
