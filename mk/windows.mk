# The Windows builds, cross-built with MinGW-w64 and tested under Wine.
#   make windows              build $(WIN_BUILD_DIR)/devidoriv.auf, the editor's 32-bit module
#   make test-windows         say whether this machine runs 32-bit x86 programs and 32-bit
#                             Wine installs (by trying), then run the suite it can:
#     test-windows-i686       the whole suite for i686 under 32-bit Wine, and the module's PE check
#     test-windows-x86_64     the whole suite for x86-64 under wine64; the 32-bit module and its
#                             suite are built and the module checked statically, nothing 32-bit runs
#   make test-windows WINDOWS_ARCH=x86_64   (or i686) picks the suite without the probe
WIN_BUILD_DIR ?= build/win32
WIN64_BUILD_DIR ?= build/win64
WIN_BUILD_TYPE ?= Release
FFTW_MINGW_PREFIX ?= $(CURDIR)/build/fftw-mingw-i686
FFTW_MINGW64_PREFIX ?= $(CURDIR)/build/fftw-mingw-x86_64
WINDOWS_ARCH ?=

WIN_CMAKE_OPTIONS = -DCMAKE_BUILD_TYPE=$(WIN_BUILD_TYPE) \
	-DDEVIDORIV_BUILD_TOOLS=OFF -DDEVIDORIV_BUILD_BENCH=OFF

.PHONY: windows windows-deps windows-fftw windows-configure \
	test-windows test-windows-i686 test-windows-x86_64

# Each target ($* below: i686 or x86_64) has its build folder, FFTW
# prefix and toolchain file. FFTW is built once from Debian's source
# package and kept under build/. (Pattern rules, so not .PHONY; no file
# of these names is ever made.)
WIN_BUILD_DIR_i686 = $(WIN_BUILD_DIR)
WIN_BUILD_DIR_x86_64 = $(WIN64_BUILD_DIR)
FFTW_PREFIX_i686 = $(FFTW_MINGW_PREFIX)
FFTW_PREFIX_x86_64 = $(FFTW_MINGW64_PREFIX)

mingw-deps-%:
	@scripts/install-windows-deps.sh $*

mingw-fftw-%: mingw-deps-%
	@JOBS=$(JOBS) scripts/build-fftw.sh $* $(FFTW_PREFIX_$*)

mingw-configure-%: mingw-fftw-%
	cmake -S . -B $(WIN_BUILD_DIR_$*) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-$*.cmake \
		-DFFTW_ROOT=$(FFTW_PREFIX_$*) $(WIN_CMAKE_OPTIONS)

windows-deps: mingw-deps-i686
windows-fftw: mingw-fftw-i686
windows-configure: mingw-configure-i686

windows: windows-configure
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS) --target devidoriv

# The probe assembles and runs a small 32-bit program (binutils), and
# prints the suite it picked.
test-windows:
	@scripts/install-deps.sh binutils
	@arch=$$(WINDOWS_ARCH='$(WINDOWS_ARCH)' scripts/windows-probe.sh) && \
		$(MAKE) --no-print-directory test-windows-$$arch

test-windows-i686: windows-configure
	@scripts/install-windows-deps.sh wine32
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS)
	scripts/wine-run.sh ctest --test-dir $(WIN_BUILD_DIR) --output-on-failure -j $(JOBS)
	@echo "test-windows: PASSED: the i686 suite under 32-bit Wine"

# The static checks run no 32-bit program: the build compiles the ABI
# header's 32-bit layout asserts (in the module, and in C in the suite),
# and the PE check reads the DLL with objdump.
test-windows-x86_64: mingw-configure-i686 mingw-configure-x86_64
	@scripts/install-windows-deps.sh wine64
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS)
	sh tests/host/check_pe_exports.sh i686-w64-mingw32-objdump $(WIN_BUILD_DIR)/devidoriv.auf i386
	cmake --build $(WIN64_BUILD_DIR) -j $(JOBS)
	scripts/wine-run.sh --win64 ctest --test-dir $(WIN64_BUILD_DIR) --output-on-failure -j $(JOBS)
	@echo "test-windows: PASSED: the x86-64 suite under wine64, and the 32-bit module's static checks" \
		"(built with its suite, PE32 i386, one export, system imports only)"
	@echo "test-windows: NOT RUN: the i686 suite (this machine does not run it, or WINDOWS_ARCH=x86_64)"
