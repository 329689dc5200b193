# Front door of the build. `make test` is the one command a newcomer needs.
.PHONY: all deps build test test-asan run bench fuzz format clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

all: build

deps:
	@bash scripts/install-deps

# Configuring again is quick and picks up new folders and files.
build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default

test-asan: deps
	cmake --preset asan >/dev/null
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
