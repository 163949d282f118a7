# The Windows builds, cross-built with MinGW-w64 and tested under Wine.
#   make windows              build $(WIN_BUILD_DIR)/devidoriv.auf, the editor's 32-bit module
#   make test-windows         say whether this machine runs 32-bit x86 programs (by trying),
#                             then run the suite it can:
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
	win64-deps win64-fftw win64-configure \
	test-windows test-windows-i686 test-windows-x86_64

windows-deps:
	@scripts/install-windows-deps.sh i686

# FFTW for each target, built once from Debian's source package and kept
# under build/.
windows-fftw: windows-deps
	@JOBS=$(JOBS) scripts/build-fftw-mingw.sh i686 $(FFTW_MINGW_PREFIX)

windows-configure: windows-fftw
	cmake -S . -B $(WIN_BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
		-DFFTW_ROOT=$(FFTW_MINGW_PREFIX) $(WIN_CMAKE_OPTIONS)

windows: windows-configure
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS) --target devidoriv

win64-deps:
	@scripts/install-windows-deps.sh x86_64

win64-fftw: win64-deps
	@JOBS=$(JOBS) scripts/build-fftw-mingw.sh x86_64 $(FFTW_MINGW64_PREFIX)

win64-configure: win64-fftw
	cmake -S . -B $(WIN64_BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake \
		-DFFTW_ROOT=$(FFTW_MINGW64_PREFIX) $(WIN_CMAKE_OPTIONS)

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
test-windows-x86_64: windows-configure win64-configure
	@scripts/install-windows-deps.sh wine64
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS)
	sh tests/host/check_pe_exports.sh i686-w64-mingw32-objdump $(WIN_BUILD_DIR)/devidoriv.auf i386
	cmake --build $(WIN64_BUILD_DIR) -j $(JOBS)
	scripts/wine-run.sh --win64 ctest --test-dir $(WIN64_BUILD_DIR) --output-on-failure -j $(JOBS)
	@echo "test-windows: PASSED: the x86-64 suite under wine64, and the 32-bit module's static checks" \
		"(built with its suite, PE32 i386, one export, system imports only)"
	@echo "test-windows: NOT RUN: the i686 suite (this machine does not run it, or WINDOWS_ARCH=x86_64)"
