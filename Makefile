# The two commands of the README: `make demo` and `make test`. Both install what is missing first.
.PHONY: all deps demo test tsan build-release build-asan bench fuzz format clean

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

# The tests that run threads, under ThreadSanitizer in a build tree of their own (build/tsan):
# these executables, and of them the tests the tsan test preset selects. It leaves out
# Vm.EvaluateFevalStopAndRelease, which counts the process's threads: the sanitizer starts a
# thread of its own when the first one is made.
TSAN_TARGETS = host_misuse_test call_interrupt_test vm_call_interrupt_test concurrent_calls_test \
               vm_instances_cycles_test instances_test zvm_test engine_test util_test base_test

tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan --target $(TSAN_TARGETS)
	@ctest --preset tsan

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
