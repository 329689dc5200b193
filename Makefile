# Front door of the build. `make test` is the one command a newcomer needs.
.PHONY: all deps build test test-asan run bench fuzz format clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

all: build

deps:
	@bash scripts/install-deps

build/build.ninja: CMakeLists.txt CMakePresets.json
	cmake --preset default >/dev/null

build: deps build/build.ninja
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default

build-asan/build.ninja: CMakeLists.txt CMakePresets.json
	cmake --preset asan >/dev/null

test-asan: deps build-asan/build.ninja
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

run: build
	@bash scripts/run-sample

bench: build
	@bash scripts/bench

fuzz: deps
	@bash scripts/fuzz

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-fuzz
