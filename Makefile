# A thin front over CMake presets; see README.md.
JOBS ?= $(shell nproc)
CLANG_FORMAT ?= clang-format-14
FUZZ_TIME ?= 60
FUZZ_FLAGS = -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
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

fuzz: deps
	cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_PACKAGE_BUILD_TESTS=OFF \
	  -DTARN_PACKAGE_BUILD_TOOLS=OFF -DTARN_PACKAGE_FUZZ=ON "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
	cmake --build build/fuzz --target tarn_package_read_fuzzer tarn_package_fuzz_seeds -j $(JOBS)
	mkdir -p build/fuzz/corpus
	build/fuzz/fuzz/tarn_package_fuzz_seeds build/fuzz/corpus
	build/fuzz/fuzz/tarn_package_read_fuzzer -max_total_time=$(FUZZ_TIME) -rss_limit_mb=2048 build/fuzz/corpus

demo: build
	build/dev/tools/tarn-package/tarn-package demo

format: deps
	$(CLANG_FORMAT) -i $(FORMAT_FILES)

format-check: deps
	$(CLANG_FORMAT) --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf build
