# SPDX-License-Identifier: GPL-3.0-or-later
# Front door. `make run` and `make test` install what is missing, configure once per
# preset, build with Ninja and go. Everything else is a CMake target or preset.
# Each target asks only for the packages it needs: `make run` for the build's, `make
# test` also for the test tools, `make fuzz` for clang (scripts/install-packages.sh).
PRESET ?= dev

.PHONY: all run test asan-test bench fuzz deb build deps test-deps configure clean format screenshot e2e-load sync-model

all: build

deps:
	@scripts/install-packages.sh run

test-deps:
	@scripts/install-packages.sh run test package

build/%/build.ninja: | deps
	cmake --preset $*

configure: build/$(PRESET)/build.ninja

build: deps configure
	cmake --build --preset $(PRESET)

run: build
	build/$(PRESET)/app/cardomine

# Configured again after the test packages: the tests that need a tool are added when
# CMake finds it.
test: test-deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)
	ctest --preset $(PRESET)

asan-test:
	$(MAKE) test PRESET=asan

# The end-to-end test ten times in a row beside two busy processes per core (not part
# of `make test`: it takes several minutes).
e2e-load: test-deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)
	scripts/e2e-under-load.sh build/$(PRESET)

# The sync pass against its model beyond `make test`'s fixed seeds: SEEDS is a comma-separated
# list of numbers or "random", STEPS the steps of each run, CONCURRENT=1 lets one contact
# change on both sides between two passes. A failure prints its seed and steps; add the
# seed to the test's list of seeds that failed.
SEEDS ?= random,random,random
STEPS ?= 150
CONCURRENT ?=
sync-model: test-deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) --target tst_syncmodel
	@scratch=$$(mktemp -d) && trap 'rm -rf "$$scratch"' EXIT && \
	env QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME=$$scratch \
	    XDG_CONFIG_HOME=$$scratch/config XDG_DATA_HOME=$$scratch/share XDG_RUNTIME_DIR=$$scratch \
	    CARDOMINE_DRIVE_C=$$scratch/unused-drive CARDOMINE_SYNC_SEEDS=$(SEEDS) \
	    CARDOMINE_SYNC_STEPS=$(STEPS) CARDOMINE_SYNC_CONCURRENT=$(CONCURRENT) \
	    $$([ -d /dev/shm ] && echo TMPDIR=/dev/shm) \
	    build/$(PRESET)/tests/sync/tst_syncmodel randomSteps

# Every program timed as a whole process, paired with a floor, in a release build;
# prints the tables and writes them to build/release/bench/last.md.
bench: deps build/release/build.ninja
	@scripts/install-packages.sh bench || echo "make bench: the rows of the missing programs are skipped"
	cmake --build --preset release --target cardomine_bench
	build/release/bench/cardomine_bench

# The Debian package from the release build (built here if it is not yet; nothing is
# compiled twice): build/release/cardomine_<version>_<arch>.deb.
deb:
	@scripts/install-packages.sh run package
	cmake --preset release
	cmake --build --preset release --target deb

# Each fuzzer runs FUZZ_SECONDS (30 s by default) over its seeds and past findings.
FUZZ_SECONDS ?= 30
fuzz:
	@scripts/install-packages.sh run fuzz
	cmake --preset fuzz -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz --target fuzz

screenshot: build
	@scripts/install-packages.sh screenshot
	scripts/screenshot.sh build/$(PRESET)/app/cardomine docs/screenshot.png
	QT_SCALE_FACTOR=2 scripts/screenshot.sh build/$(PRESET)/app/cardomine docs/screenshot-2x.png

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
