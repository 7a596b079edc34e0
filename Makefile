# Thin wrapper over CMake. `make test` installs what is missing, builds the normal and the
# sanitizer configuration and runs every test in both.
WERROR ?= $(if $(CI),ON,OFF)
JOBS   ?= $(shell nproc)
CMAKE_COMMON = -G Ninja -DBW_WERROR=$(WERROR)

.PHONY: all deps build asan test bench demo clean

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

test: build asan
	cd build/release && ctest --output-on-failure -j $(JOBS)
	cd build/asan && ctest --output-on-failure -j $(JOBS)

bench: build
	build/release/bench/bw_bench

clean:
	rm -rf build
