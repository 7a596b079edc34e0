# Thin wrapper over CMake. `make test` installs what is missing, builds the normal and the
# sanitizer configuration, runs every test in both, then fuzzes the preferences-file reader and the
# image loading path for FUZZ_SECONDS between them (`make fuzz`: clang, libFuzzer with ASan and
# UBSan, in build/fuzz).
WERROR ?= $(if $(CI),ON,OFF)
JOBS   ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_EACH = $(shell echo $$(( ($(FUZZ_SECONDS) + 1) / 2 )))
CMAKE_COMMON = -G Ninja -DBW_WERROR=$(WERROR)

.PHONY: all deps build asan fuzz test bench demo screenshots clean

all: build

deps:
	@scripts/install-deps

build/release/build.ninja:
	cmake -S . -B build/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build/asan/build.ninja:
	cmake -S . -B build/asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DBW_SANITIZE=ON

build: deps build/release/build.ninja
	cmake --build build/release -j $(JOBS)

asan: deps build/asan/build.ninja
	cmake --build build/asan -j $(JOBS)

build/fuzz/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DBW_WERROR=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBW_FUZZ=ON

# The corpora grow in build/fuzz/corpus and build/fuzz/image-corpus between runs; the seeds are
# rewritten every run. Each fuzzer has half of FUZZ_SECONDS.
fuzz: deps build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS) --target prefs_fuzzer prefs_seeds image_fuzzer image_seeds
	rm -rf build/fuzz/seeds build/fuzz/image-seeds
	mkdir -p build/fuzz/seeds build/fuzz/corpus build/fuzz/image-seeds build/fuzz/image-corpus
	build/fuzz/fuzz/prefs_seeds build/fuzz/seeds
	build/fuzz/fuzz/prefs_fuzzer -max_total_time=$(FUZZ_EACH) -timeout=10 -max_len=4096 -rss_limit_mb=2048 \
	  -print_final_stats=1 -artifact_prefix=build/fuzz/ build/fuzz/corpus build/fuzz/seeds
	build/fuzz/fuzz/image_seeds build/fuzz/image-seeds
	build/fuzz/fuzz/image_fuzzer -max_total_time=$(FUZZ_EACH) -timeout=10 -max_len=16384 -rss_limit_mb=2048 \
	  -print_final_stats=1 -artifact_prefix=build/fuzz/image- build/fuzz/image-corpus build/fuzz/image-seeds

test: build asan
	cd build/release && ctest --output-on-failure -j $(JOBS)
	cd build/asan && ctest --output-on-failure -j $(JOBS)
	$(MAKE) fuzz

bench: build
	build/release/bench/bw_bench
	build/release/bench/pixeleffect_bench
	build/release/bench/imageops_bench
	build/release/bench/media_bench
	build/release/bench/frei0r_bench

# Two generated clips joined with the saved settings: out/demo.mp4 and out/demo-sheet.png.
demo: build
	build/release/editor/cli/blockwaves demo -y

# The dialog's pictures in docs/, made offscreen on a screen large enough for the HD window.
screenshots: build
	BW_SCREENSHOT_DIR=$(CURDIR)/docs QT_QPA_PLATFORM=offscreen:configfile=$(CURDIR)/tests/dialog/screen.json \
	  build/release/tests/dialog_tests --gtest_filter=DialogTest.Screenshots

clean:
	rm -rf build
