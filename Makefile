# Entry points for people and CI. Everything builds through CMake presets (CMakePresets.json).
.PHONY: all deps build run test test-asan test-fs fuzz bench deb test-deb format format-check tidy clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

# The window opens on a demo folder of sample files, made afresh outside the source tree on every
# run (scripts/make-demo.sh), so a first try renames nothing of one's own. Without a display (CI,
# ssh) the window comes up on a virtual X server.
run: build
	@demo=$$(scripts/make-demo.sh) && echo "Demo folder: $$demo" && \
	if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then ./build/skorvatin "$$demo"; \
	else echo "No display: the window runs on a virtual X server (Ctrl+C ends it)."; xvfb-run -a ./build/skorvatin "$$demo"; fi

test: build
	ctest --preset dev

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Optimised build, then the benchmark against plain C loops and a minimal Qt program; not part
# of `make test`. BENCH_ARGS=--quick gives a smoke run of a few seconds.
bench: deps
	cmake --preset release
	cmake --build --preset release --target skorvatin_bench
	./build-release/bench/skorvatin_bench $(BENCH_ARGS)

# Case-insensitive file systems (vfat, exfat, ext4 casefold, XFS ascii-ci) inside a qemu machine:
# about half a minute, a minute and a half the first time (it fetches Debian's kernel once).
test-fs:
	scripts/test-fs.sh

# libFuzzer needs clang, so the fuzz targets are a CMake project of their own. Each runs
# FUZZ_SECONDS on a copy of its seed corpus under AddressSanitizer and UBSan.
FUZZ_SECONDS ?= 30
fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-14-dev
	cmake -S tests/fuzz -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz
	tests/fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

# Fails when a source file differs from what clang-format makes of it; CI runs it first.
format-check:
	@scripts/install-deps.sh clang-format
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror

# clang-tidy 14 (checks in .clang-tidy) over the product's sources, with the compile commands of the
# dev build, which it configures. Fails on any warning; CI runs it after format-check.
tidy: deps
	@scripts/install-deps.sh clang-tidy
	cmake --preset dev
	git ls-files --cached --others --exclude-standard 'engine/*.cpp' 'platform/*.cpp' 'ui/*.cpp' \
		| xargs -P2 -n4 clang-tidy -p build --quiet

clean:
	rm -rf build build-asan build-release build-fuzz build-package

deb: deps
	cmake --preset package
	cmake --build --preset package
	cd build-package && cpack
	@ls -l build-package/*.deb

test-deb:
	scripts/test-deb.sh
