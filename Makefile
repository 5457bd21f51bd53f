# The two commands of README.md: `make demo` and `make test`.
PACKAGES := cmake ninja-build g++ make googletest clang-format iproute2
# The Windows build and its tests under Wine (64-bit Wine only).
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wixl msitools zip \
  xvfb xdotool x11-apps imagemagick libxml2-utils
# The Debian package's test: a clean Debian root made with debootstrap.
TEST_PACKAGES := debootstrap
# The fuzz targets: clang with libFuzzer.
FUZZ_PACKAGES := clang libclang-rt-14-dev
JOBS ?= 2

.PHONY: all deps windows-deps build test windows windows-test demo clean format format-check lint

all: build

# Installs what is missing as root, else prints the one line to run.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	  else \
	    echo "Missing packages. Run:"; echo "  sudo apt-get install -y --no-install-recommends$$missing"; exit 1; \
	  fi; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

windows-deps: deps
	$(call install_missing,$(WINDOWS_PACKAGES))

build: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

# zamopocket.exe for 64-bit Windows, its stand-in DLLs and Windows tests; and
# the 32-bit program, built as a compile-and-link check.
windows: windows-deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)
	cmake --preset windows-i686 >/dev/null
	cmake --build --preset windows-i686 -j $(JOBS)

# The Windows unit tests and every end-to-end scenario under Wine, on
# virtual displays: three scenarios at a time, each in a Wine prefix of its
# own (they mostly wait on the handheld's timeouts, not on the processor).
windows-test: windows build
	ZP_WINE_SLOTS=3 sh scripts/with-wine.sh sh -c 'ctest --preset windows -j $(JOBS) && ctest --preset wine-e2e'

test: build format-check
	$(call install_missing,$(TEST_PACKAGES))
	ctest --preset native -j $(JOBS)
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	ctest --preset asan-legacy -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-build
	sh scripts/fuzz.sh 5
	$(MAKE) --no-print-directory windows-test

# The fuzz targets of the .reg reader, the pending list, the wildcard match,
# the faults file and the stand-in's paths, under ASan and UBSan.
.PHONY: fuzz-build fuzz
fuzz-build: deps
	$(call install_missing,$(FUZZ_PACKAGES))
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: fuzz-build
	sh scripts/fuzz.sh 60

demo: build
	sh scripts/demo.sh build/native/zamopocket build/native/zp-handheld

# Every fault kind at every operation of a whole session (make test runs
# every third operation); prints runs, held and failed by kind.
.PHONY: sweep
sweep: build
	ZP_SWEEP=full build/native/e2e_tests --gtest_filter='FaultSweep.*'

# The README's picture of the progress dialog, taken during a session under Wine.
.PHONY: screenshot
screenshot: windows build
	mkdir -p docs
	sh scripts/with-wine.sh sh -c 'ZP_E2E_LAUNCHER=wine ZP_SCREENSHOT=$(CURDIR)/docs/progress-window.png \
	  build/native/e2e_tests --gtest_filter="DialogSession.*"'

# The installer packages and the zips of both programs, and the Debian
# package of the Linux program, in build/packages/.
.PHONY: package deb lint-deb
package: windows build
	sh scripts/package.sh
	sh scripts/package-deb.sh

# The Debian package alone: zamopocket_<version>_<arch>.deb.
deb: build
	sh scripts/package-deb.sh

# lintian on the Debian package (make test does not run it); installs lintian.
# Its two notes hardening-no-bindnow and hardening-no-fortify-functions come
# from the build's compiler flags (README, "The Debian package").
LINT_DEB_PACKAGES := lintian
lint-deb: deb
	$(call install_missing,$(LINT_DEB_PACKAGES))
	lintian --display-info --pedantic build/packages/zamopocket_*.deb

# Every C++ source of the tree, as git knows it.
SOURCES = $(shell git ls-files '*.cpp' '*.h')

# clang-format over every source (.clang-format); make test checks it.
format: deps
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

# clang-tidy (.clang-tidy) over every source of the Linux build.
LINT_PACKAGES := clang-tidy
lint: build
	$(call install_missing,$(LINT_PACKAGES))
	run-clang-tidy -quiet -p build/native -j $(JOBS) '/(src|simulator|tests|bench)/' >build/lint.log 2>&1 || \
	  { grep -E 'error:|warning:' -A3 build/lint.log; exit 1; }
	@echo "lint: clean"

# Speed and memory of the Linux build against rsync and a durable-move
# baseline, written to docs/benchmarks.md. Not part of `make test`.
BENCH_PACKAGES := rsync hyperfine time iproute2
.PHONY: bench
bench: build
	$(call install_missing,$(BENCH_PACKAGES))
	sh scripts/bench.sh build/native

clean:
	rm -rf build
