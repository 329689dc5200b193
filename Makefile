# Front door of the build. `make test` is the one command a newcomer needs.
.PHONY: all deps build test test-asan test-windows dist-windows run bench fuzz screenshots package format clean

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

# Cross-built for 64-bit Windows (mingw-w64), tested under Wine against the
# Linux build; the zip holds zepconv.exe and its README.
test-windows:
	@bash scripts/install-deps windows
	@bash scripts/test-windows

dist-windows:
	@bash scripts/install-deps windows
	@bash scripts/dist-windows

run: build
	@bash scripts/run-sample

bench: build
	@bash scripts/bench

fuzz: deps
	@bash scripts/fuzz

# Every window and dialog rendered offscreen into build/screenshots/*.png.
screenshots: build
	@test -x build/src/gui/zepconv-screenshots || \
	  { echo "screenshots: the window was not built (Qt 6 missing or ZEP_GUI=OFF)" >&2; exit 1; }
	rm -rf build/screenshots
	QT_QPA_PLATFORM=offscreen build/src/gui/zepconv-screenshots build/screenshots

# A Debian package of the command and the window in build/ (zepconv_VERSION_ARCH.deb).
package: build
	cd build && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	-[ -d build-windows/wine ] && WINEPREFIX=$(CURDIR)/build-windows/wine wineserver -k 2>/dev/null
	rm -rf build build-asan build-fuzz build-windows
