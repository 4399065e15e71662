# Entry points for people and CI. Everything builds through CMake presets (CMakePresets.json).
.PHONY: all deps build run test test-asan test-fs bench deb test-deb format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

# Without a display (CI, ssh) the window comes up on a virtual X server.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then ./build/skorvatin; \
	else echo "No display: the window runs on a virtual X server (Ctrl+C ends it)."; xvfb-run -a ./build/skorvatin; fi

test: build
	ctest --preset dev

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Case-insensitive file systems (vfat, exfat, ext4 casefold, XFS ascii-ci) inside a qemu machine:
# about half a minute, a minute and a half the first time (it fetches Debian's kernel once).
test-fs:
	scripts/test-fs.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release

deb: deps
	cmake --preset package
	cmake --build --preset package
	cd build-package && cpack
	@ls -l build-package/*.deb

test-deb:
	scripts/test-deb.sh
