# make demo: the bootstrapper's whole job against a local demo release.
# make test: both builds and every test.
# make release: the signed, verified exe in dist/ (docs/releasing.md).
SHELL := /bin/bash
ROOT := $(CURDIR)
JOBS ?= 2
FUZZ_RUNS ?= 1000000

.PHONY: setup native win test test-native test-win demo release bench fuzz clean format \
	feed-rules publish check-feed

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

# make publish SETUP=<file> VERSION=<v> URL=<https url>: dist/latest.json,
# checked with the bootstrapper's own rules; make check-feed: the live
# release as the bootstrapper fetches it (docs/publishing.md).
feed-rules: setup
	@cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/native --target feed_rules -j$(JOBS) >/dev/null

publish: feed-rules
	@python3 tools/publish.py publish

check-feed: feed-rules
	@python3 tools/publish.py check-feed
