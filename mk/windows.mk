# The 32-bit Windows module, cross-built with MinGW and tested under Wine.
#   make windows        build $(WIN_BUILD_DIR)/devidoriv.auf
#   make test-windows   build it with the test suite and run every test under Wine
WIN_BUILD_DIR ?= build/win32
WIN_BUILD_TYPE ?= Release
FFTW_MINGW_PREFIX ?= $(CURDIR)/build/fftw-mingw-i686

.PHONY: windows windows-deps windows-fftw windows-configure test-windows

windows-deps:
	@scripts/install-windows-deps.sh

# Built once from Debian's source package and kept under build/.
windows-fftw: windows-deps
	@JOBS=$(JOBS) scripts/build-fftw-mingw.sh $(FFTW_MINGW_PREFIX)

windows-configure: windows-fftw
	cmake -S . -B $(WIN_BUILD_DIR) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
		-DFFTW_ROOT=$(FFTW_MINGW_PREFIX) \
		-DCMAKE_BUILD_TYPE=$(WIN_BUILD_TYPE) \
		-DDEVIDORIV_BUILD_TOOLS=OFF -DDEVIDORIV_BUILD_BENCH=OFF

windows: windows-configure
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS) --target devidoriv

test-windows: windows-configure
	cmake --build $(WIN_BUILD_DIR) -j $(JOBS)
	scripts/wine-run.sh ctest --test-dir $(WIN_BUILD_DIR) --output-on-failure -j $(JOBS)
