# Front door. `make run` and `make test` install what is missing, configure once per
# preset, build with Ninja and go. Everything else is a CMake target or preset.
PRESET ?= dev

.PHONY: all run test asan-test bench fuzz build deps configure clean format screenshot

all: build

deps:
	@scripts/install-packages.sh

build/%/build.ninja: | deps
	cmake --preset $*

configure: build/$(PRESET)/build.ninja

build: deps configure
	cmake --build --preset $(PRESET)

run: build
	build/$(PRESET)/app/cardomine

test: build
	ctest --preset $(PRESET)

asan-test:
	$(MAKE) test PRESET=asan

# Start-up, browsing and saving timed in a release build; prints one table.
bench: deps build/release/build.ninja
	cmake --build --preset release --target cardomine_bench
	build/release/bench/cardomine_bench

# Each fuzzer runs FUZZ_SECONDS (30 s by default) over its seeds and past findings.
FUZZ_SECONDS ?= 30
fuzz: deps
	cmake --preset fuzz -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz --target fuzz

screenshot: build
	scripts/screenshot.sh build/$(PRESET)/app/cardomine docs/screenshot.png

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
