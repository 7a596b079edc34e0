# Thin wrapper over CMake. `make test` installs what is missing, builds the normal and the
# sanitizer configuration and the core for s390x, runs every test in all three, then fuzzes the
# preferences-file reader and the image loading path for FUZZ_SECONDS between them (`make fuzz`:
# clang, libFuzzer with ASan and UBSan, in build/fuzz), and last installs the Debian packages in a
# fresh Debian root (`make package-test`). `make check` is the quick loop: the release build and
# its unit tests only.
WERROR ?= $(if $(CI),ON,OFF)
JOBS   ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_EACH = $(shell echo $$(( ($(FUZZ_SECONDS) + 1) / 2 )))
CMAKE_COMMON = -G Ninja -DBW_WERROR=$(WERROR)

.PHONY: all deps build check format asan fuzz test bench demo screenshots clean s390x package package-test

all: build

deps:
	@scripts/install-deps

build/release/build.ninja:
	cmake -S . -B build/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build/asan/build.ninja:
	cmake -S . -B build/asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DBW_SANITIZE=ON

build: deps build/release/build.ninja
	cmake --build build/release -j $(JOBS)

# The quick loop: the release build and its unit tests, leaving out the tests labelled slow (those
# that start programs, encode media, run melt or GStreamer, or install). No installs, no sanitizer
# or s390x build, no package root.
check: build/release/build.ninja
	cmake --build build/release -j $(JOBS)
	cd build/release && ctest --output-on-failure -j $(JOBS) -LE slow

# Formats every C and C++ source with .clang-format.
format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

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

test: build asan s390x
	cd build/release && ctest --output-on-failure -j $(JOBS)
	cd build/asan && ctest --output-on-failure -j $(JOBS)
	$(MAKE) fuzz
	$(MAKE) package-test

# The layers below the dialog (platform, imaging, engine, settings) built for s390x, a big-endian
# processor, with their tests run under qemu-s390x: build/s390x, libraries in build/s390x-sysroot.
s390x: deps
	scripts/s390x-sysroot build/s390x-sysroot
	test -f build/s390x/build.ninja || cmake -S . -B build/s390x $(CMAKE_COMMON) -DBW_CORE_ONLY=ON \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/s390x.cmake -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
	cmake --build build/s390x -j $(JOBS)
	cd build/s390x && ctest --output-on-failure -j $(JOBS)

# Debian packages of the build in PKG_BUILD (blockwaves, blockwaves-plugin, blockwaves-dialog,
# blockwaves-frei0r, blockwaves-mlt), checked by lintian and by tests/packaging/deb_check.sh (every shipped ELF file
# hardened, no build folder in any file, no maintainer scripts); package-test installs them into a
# fresh Debian 12 root. The build's compiler and linker flags are Debian's hardening (CMakeLists.txt).
PKG_BUILD ?= build/release
package: deps
	test -f $(PKG_BUILD)/build.ninja || cmake -S . -B $(PKG_BUILD) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(PKG_BUILD) -j $(JOBS)
	rm -f $(PKG_BUILD)/*.deb
	cd $(PKG_BUILD) && cpack -G DEB
	lintian --fail-on error --display-info $(PKG_BUILD)/*.deb > $(PKG_BUILD)/lintian.log; \
	  status=$$?; cat $(PKG_BUILD)/lintian.log; exit $$status
	@! grep -E 'hardening|ldconfig' $(PKG_BUILD)/lintian.log || { echo "lintian: hardening or ldconfig tags" >&2; exit 1; }
	tests/packaging/deb_check.sh $(PKG_BUILD)

package-test: package
	tests/packaging/install_test.sh $(PKG_BUILD)

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
screenshots: build/release/build.ninja
	cmake --build build/release -j $(JOBS) --target dialogshots
	QT_QPA_PLATFORM=offscreen:configfile=$(CURDIR)/tools/screen.json build/release/tools/dialogshots $(CURDIR)/docs

clean:
	rm -rf build
