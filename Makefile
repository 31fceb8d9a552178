# Top-level driver of the builds (see CMakeLists.txt).
#   make        install what is missing, then build natively and for Windows
#   make test   build, then run every native and Wine test in one CTest run
#   make demo   build the installer with its payload and run it under Wine
#   make bench  measure the download, MD5 and memory figures
#   make fuzz   fuzz every parser of the pure core for FUZZ_SECONDS each (default 60)
#
# build/native  pure core under sanitizers, Linux publisher tool
# build/win32   the installer image (i686), the extension library, cvpublish.exe
# build/win64   the same sources for x86_64 with the Wine test programs: this kind
#               of machine cannot execute 32-bit x86 code, so Wine runs them 64-bit
# build/fuzz    the pure core's parsers as libFuzzer targets (clang, ASan, UBSan)
# The i686 images are tested in an emulated x86 machine (scripts/vm, CTest i686.*).
BUILD := build
JOBS ?= 2
CMAKE_GEN := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
FUZZ_SECONDS ?= 60

.PHONY: all setup native win32 win64 fuzz-build vm-image i686-tests test fuzz demo bench clean

all: win64

setup:
	@CORVANE_BUILD=$(BUILD) scripts/setup

native: setup
	@cmake -S . -B $(BUILD)/native $(CMAKE_GEN) >/dev/null
	@cmake --build $(BUILD)/native -j $(JOBS)

# The cross builds run the publisher tool of the native build (CVPUBLISH_HOST).
CVPUBLISH_HOST = $(abspath $(BUILD))/native/cvpublish

win32: native
	@cmake -S . -B $(BUILD)/win32 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
		-DCVPUBLISH_HOST=$(CVPUBLISH_HOST) >/dev/null
	@cmake --build $(BUILD)/win32 -j $(JOBS)

win64: win32
	@cmake -S . -B $(BUILD)/win64 $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
		-DCORVANE_WINE_TESTS=ON -DCVPUBLISH_HOST=$(CVPUBLISH_HOST) >/dev/null
	@cmake --build $(BUILD)/win64 -j $(JOBS)

fuzz-build: setup
	@cmake -S . -B $(BUILD)/fuzz $(CMAKE_GEN) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DCORVANE_FUZZ=ON >/dev/null
	@cmake --build $(BUILD)/fuzz -j $(JOBS)

# The emulated machine's image (scripts/vm/image, once per machine) is made in the
# background from the start, so that its downloads overlap the compiles; i686.boot
# waits for it.
vm-image: setup
	@mkdir -p $(BUILD) && nohup scripts/vm/image </dev/null >$(BUILD)/vm-image.log 2>&1 &

i686-tests: win32
	@cmake --build $(BUILD)/win32 -j $(JOBS) --target i686_tests

# One CTest run over the test builds: the top-level test file names the folders.
# What failed is run once more (scripts/run-tests), and the summary names every test that
# passed only then; the output keeps the first failure for whoever reads it.
# The fuzz targets run briefly here (10 s each), so that they keep building and working.
test: vm-image win64 i686-tests fuzz-build
	@printf 'subdirs("native")\nsubdirs("win64")\nsubdirs("win32")\nsubdirs("fuzz")\n' > $(BUILD)/CTestTestfile.cmake
	@scripts/run-tests $(BUILD) $(JOBS)

# Every fuzz target for FUZZ_SECONDS, the grown corpora kept in build/fuzz/work between
# runs; fails on any finding (kept under build/fuzz/work/<target>/findings/).
fuzz: fuzz-build
	@cd $(BUILD)/fuzz && CORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) CORVANE_FUZZ_KEEP=1 \
		ctest --output-on-failure -j $(JOBS) --timeout $$(( $(FUZZ_SECONDS) + 300 )); \
		status=$$?; cat work/*/long.stats 2>/dev/null; exit $$status

demo: win64
	@CORVANE_BUILD=$(BUILD) scripts/demo

# Throughput, MD5 speed and memory, measured in one run (not a test).
bench: win64
	@scripts/bench

clean:
	rm -rf $(BUILD)
