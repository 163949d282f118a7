# The Windows builds, cross-built with MinGW-w64 and tested under Wine.
#   make windows              build $(WIN_BUILD_DIR)/devidoriv.auf, the editor's 32-bit module
#   make test-windows         say whether this machine runs 32-bit x86 programs and 32-bit
#                             Wine installs (by trying), then run the suite it can:
#     test-windows-i686       the whole suite for i686 under 32-bit Wine, and the module's PE check
#     test-windows-x86_64     the whole suite for x86-64 under wine64; the 32-bit module and its
#                             suite are built and the module checked statically, nothing 32-bit runs
#   make test-windows WINDOWS_ARCH=x86_64   (or i686) picks the suite without the probe
# The build folders and FFTW prefixes of the presets windows-i686 and
# windows-x86_64 (Release, no tool, no benchmarks).
WIN_BUILD_DIR = $(BUILD_DIR)/win32
WIN64_BUILD_DIR = $(BUILD_DIR)/win64
FFTW_MINGW_PREFIX = $(CURDIR)/build/fftw-mingw-i686
FFTW_MINGW64_PREFIX = $(CURDIR)/build/fftw-mingw-x86_64
WINDOWS_ARCH ?=

.PHONY: windows windows-deps windows-fftw windows-configure \
	test-windows test-windows-i686 test-windows-x86_64

# Each target ($* below: i686 or x86_64) has its preset (build folder,
# FFTW prefix and toolchain file). FFTW is built once from Debian's source
# package and kept under build/. (Pattern rules, so not .PHONY; no file
# of these names is ever made.)
FFTW_PREFIX_i686 = $(FFTW_MINGW_PREFIX)
FFTW_PREFIX_x86_64 = $(FFTW_MINGW64_PREFIX)

mingw-deps-%:
	@scripts/install-windows-deps.sh $*

mingw-fftw-%: mingw-deps-%
	@JOBS=$(JOBS) scripts/build-fftw.sh $* $(FFTW_PREFIX_$*)

mingw-configure-%: mingw-fftw-%
	cmake --preset windows-$*

windows-deps: mingw-deps-i686
windows-fftw: mingw-fftw-i686
windows-configure: mingw-configure-i686

windows: windows-configure
	cmake --build --preset windows-i686 -j $(JOBS) --target devidoriv

# The probe assembles and runs a small 32-bit program (binutils), and
# prints the suite it picked.
test-windows:
	@scripts/install-deps.sh binutils
	@arch=$$(WINDOWS_ARCH='$(WINDOWS_ARCH)' scripts/windows-probe.sh) && \
		$(MAKE) --no-print-directory test-windows-$$arch

test-windows-i686: windows-configure
	@scripts/install-windows-deps.sh wine32
	cmake --build --preset windows-i686 -j $(JOBS)
	scripts/wine-run.sh ctest --preset windows-i686 -j $(JOBS)
	@echo "test-windows: PASSED: the i686 suite under 32-bit Wine"

# The static checks run no 32-bit program: the build compiles the ABI
# header's 32-bit layout asserts (in the module, and in C in the suite),
# and the suite's PE check, a shell script, reads the DLL with objdump.
test-windows-x86_64: mingw-configure-i686 mingw-configure-x86_64
	@scripts/install-windows-deps.sh wine64
	cmake --build --preset windows-i686 -j $(JOBS)
	ctest --preset windows-i686 -R '^module_pe_exports$$'
	cmake --build --preset windows-x86_64 -j $(JOBS)
	scripts/wine-run.sh --win64 ctest --preset windows-x86_64 -j $(JOBS)
	@echo "test-windows: PASSED: the x86-64 suite under wine64, and the 32-bit module's static checks" \
		"(built with its suite, PE32 i386, one export, system imports only)"
	@echo "test-windows: NOT RUN: the i686 suite (this machine does not run it, or WINDOWS_ARCH=x86_64)"
