# Set-up, build, demo and tests. `make demo` and `make test` install what is missing first.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: setup build build-asan demo test test-fast test-asan test-fuzz bench clean

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

demo: build
	bash scripts/demo.sh $(BUILD)

test-fast: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

test-asan: build-asan
	ctest --test-dir $(ASAN_BUILD) -j $(JOBS) --output-on-failure -LE no_sanitize

test-fuzz: setup
	bash scripts/run_fuzzers.sh 5

test: test-fast test-asan test-fuzz

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
