# Two builds from one source: the host build (Linux, against the emulated machine) in build/,
# the Windows build (mingw-w64) in build-win/.
JOBS ?= $(shell nproc)
BUILD ?= build
BUILD_WIN ?= build-win

.PHONY: all deps host windows check test demo format clean

all: host

deps:
	@tools/install-deps.sh

host: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

windows: deps
	cmake -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
	      -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD_WIN) -j $(JOBS)

test: host
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

check: host windows test

demo: host
	tools/demo.sh $(BUILD)

format:
	find common tvx* win32 sim tools tests -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_WIN)
