# One entry point for building, testing and running on a Debian/Ubuntu machine.
# Every target first installs whatever is missing.

BUILD     ?= build
NATIVE    := $(BUILD)/native
WINDOWS   := $(BUILD)/windows
ASAN      := $(BUILD)/asan
JOBS      ?= $(shell nproc)
# TESTS=OFF leaves the tests out of trees configured from now on, for builds
# that only install or package (and need no GoogleTest).
TESTS     ?= ON
export TVP_WINEPREFIX := $(abspath $(BUILD))/wineprefix
export WINEPREFIX := $(TVP_WINEPREFIX)
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: deps build build-native build-windows build-asan test test-native test-windows test-asan run bench clean

deps:
	@tools/install-deps

$(NATIVE)/build.ninja: | deps
	cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTVP_TESTS=$(TESTS)

$(WINDOWS)/build.ninja: | deps
	cmake -S . -B $(WINDOWS) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTVP_TESTS=$(TESTS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTVP_SANITIZE=ON

build-native: $(NATIVE)/build.ninja
	cmake --build $(NATIVE) -j $(JOBS)

build-windows: $(WINDOWS)/build.ninja
	cmake --build $(WINDOWS) -j $(JOBS)

build-asan: $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

build: build-native build-windows

test-native: build-native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

# The Windows tree compares its archives with the native tvpack's.
test-windows: build-windows build-native
	cd $(WINDOWS) && xvfb-run -a -s "-screen 0 1024x768x24" $(CURDIR)/tools/wine-prefix ctest --output-on-failure -j $(JOBS)

test: test-native test-asan test-windows test-package test-fuzz

# libFuzzer targets for the archive reader, its structure check and tvpack's
# layout check, built with clang under ASan and UBSan. `make fuzz` runs each
# for FUZZ_SECONDS on new inputs; `make test` runs each over its corpus and
# 20 s more. `make fuzz-coverage` reports the lines the corpus reaches.
FUZZ          := $(BUILD)/fuzz
FUZZ_COVERAGE := $(BUILD)/fuzz-coverage
FUZZ_SECONDS  ?= 180
.PHONY: build-fuzz fuzz test-fuzz fuzz-coverage

$(FUZZ)/build.ninja: | deps
	cmake -S tests/fuzz -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++

$(FUZZ_COVERAGE)/build.ninja: | deps
	cmake -S tests/fuzz -B $(FUZZ_COVERAGE) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DTVP_FUZZ_COVERAGE=ON

build-fuzz: $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS)

fuzz: build-fuzz
	tests/fuzz/run-fuzzers $(FUZZ) $(FUZZ_SECONDS)

test-fuzz: build-fuzz
	tests/fuzz/run-fuzzers $(FUZZ) 20

fuzz-coverage: $(FUZZ_COVERAGE)/build.ninja
	cmake --build $(FUZZ_COVERAGE) -j $(JOBS)
	tests/fuzz/coverage $(FUZZ_COVERAGE)

run: build-windows
	tools/wine-prefix
	cd examples && ../tools/run-app ../$(WINDOWS)/app/TolvanePacker.exe

# The Wine rows need the Windows tree, its benchmark driver and an X display.
bench: build-native build-windows
	cmake --build $(WINDOWS) --target window_pack read_floor
	tools/wine-prefix
	xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/python3 bench/run_bench.py
	/usr/bin/python3 bench/read_commands_bench.py

clean:
	rm -rf $(BUILD) $(DIST)

# Release files in dist/: the .deb from the native tree, the zip from the
# Windows tree, the source tarball from git, and their SHA256SUMS. Every time
# stamp in them is the last commit's (or SOURCE_DATE_EPOCH), so the same
# commit gives the same bytes (tools/check-reproducible).
.PHONY: dist install install-strip uninstall test-package
DIST    := $(CURDIR)/dist
PREFIX  ?= /usr/local
SOURCE  := tolvane-packer-$(shell awk '/^project.TolvanePacker VERSION/ {print $$3}' CMakeLists.txt)

# cpack gives the .deb's members the modes its temporary files get, so
# it runs under the usual umask.
dist: build-native build-windows
	rm -rf $(DIST)
	cd $(NATIVE) && umask 022 && cpack -D CPACK_OUTPUT_FILE_PREFIX=$(DIST)
	cd $(WINDOWS) && umask 022 && cpack -D CPACK_OUTPUT_FILE_PREFIX=$(DIST)
	rm -rf $(DIST)/_CPack_Packages
	git archive --format=tar --prefix=$(SOURCE)/ HEAD | gzip -9 --no-name >$(DIST)/$(SOURCE).tar.gz
	cd $(DIST) && sha256sum *.deb *.zip *.tar.gz >SHA256SUMS

test-package: dist
	BUILD=$(BUILD) tests/package/check_packages.sh $(DIST)

# tvpack, its manual page, completions and documents under
# $(DESTDIR)$(PREFIX), as built (install-strip: without debugging symbols).
install: build-native
	cmake --install $(NATIVE) --prefix $(PREFIX)

install-strip: build-native
	cmake --install $(NATIVE) --prefix $(PREFIX) --strip

# Removes every file that `make install` with the same PREFIX and DESTDIR
# puts there: the same rules, installed into an empty folder, name them.
uninstall: build-native
	@stage=$$(mktemp -d) && trap 'rm -rf "$$stage"' EXIT && \
	DESTDIR=$$stage cmake --install $(NATIVE) --prefix $(PREFIX) >/dev/null && \
	cd $$stage && find . ! -type d | sed 's|^\.||' | while read -r f; do \
	  if [ -e "$(DESTDIR)$$f" ] || [ -L "$(DESTDIR)$$f" ]; then rm -v "$(DESTDIR)$$f"; fi; done && \
	rmdir --ignore-fail-on-non-empty "$(DESTDIR)$(PREFIX)/share/doc/tolvane-packer" 2>/dev/null || true
