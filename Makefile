# make demo: the bootstrapper's whole job against a local demo release.
# make test: both builds and every test.
# make release: the signed, verified exe in dist/ (docs/releasing.md).
SHELL := /bin/bash
ROOT := $(CURDIR)
JOBS ?= 2
FUZZ_RUNS ?= 1000000

.PHONY: setup native win test test-native test-win demo release bench fuzz clean format

setup:
	@bash scripts/setup.sh

native: setup
	@cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/native -j$(JOBS)

win: setup
	@cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/mingw-w64.cmake >/dev/null
	@cmake --build build/win -j$(JOBS)

test-native: native
	@cd build/native && ctest --output-on-failure
	@bash fuzz/run.sh 10000

test-win: win
	@bash tests/server/selftest.sh
	@bash scripts/run_windows_tests.sh

test: test-native test-win

demo: win
	@bash scripts/demo.sh

release: setup
	@bash scripts/release.sh

bench: win
	@bash bench/run.sh

fuzz: setup
	@bash fuzz/run.sh $(FUZZ_RUNS)

clean:
	rm -rf build

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
