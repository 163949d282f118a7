# The Windows release archive, what an editor user downloads.
#   make windows-release        build $(WIN_RELEASE_ZIP): devidoriv.auf, the read-me
#                               in English and Japanese, the licence, the source
#   make test-windows-release   build it and check it as a user unpacks it
# The version is the one of project() in CMakeLists.txt.
DEVIDORIV_VERSION := $(shell sed -n 's/^project.devidoriv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
WIN_RELEASE_ZIP ?= $(BUILD_DIR)/devidoriv-$(DEVIDORIV_VERSION)-win32.zip

.PHONY: windows-release test-windows-release

windows-release: windows
	scripts/make-windows-release.sh $(DEVIDORIV_VERSION) $(WIN_BUILD_DIR)/devidoriv.auf \
		$(FFTW_MINGW_PREFIX) $(WIN_RELEASE_ZIP)

test-windows-release: windows-release
	tests/release/windows_release_test.sh $(WIN_RELEASE_ZIP) $(WIN_BUILD_DIR)/devidoriv.auf \
		$(DEVIDORIV_VERSION) $(CURDIR) $(FFTW_MINGW_PREFIX)
