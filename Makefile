# A thin front over CMake presets; see README.md.
JOBS ?= $(shell nproc)
CLANG_FORMAT ?= clang-format-14
FORMAT_FILES = $(shell git ls-files --cached --others --exclude-standard -- '*.cpp' '*.hpp')

.PHONY: all deps build test sanitize release bench fuzz demo format format-check clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

test: build
	ctest --preset dev -j $(JOBS)

sanitize: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

bench: release
	cmake --build --preset release --target tarn_package_bench -j $(JOBS)
	build/release/bench/tarn_package_bench

demo:
	@echo "make demo: the end-to-end demo does not exist yet; run 'make test'" >&2
	@exit 1

format: deps
	$(CLANG_FORMAT) -i $(FORMAT_FILES)

format-check: deps
	$(CLANG_FORMAT) --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf build
