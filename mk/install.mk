# Installing, uninstalling and the Debian package.
#   make install     install into PREFIX (/usr/local), under DESTDIR when given:
#                    PREFIX/bin/devidoriv, PREFIX/lib/devidoriv/devidoriv.so,
#                    PREFIX/lib/frei0r-1/devidoriv.so (with the frei0r plug-in, and its
#                    descriptions PREFIX/share/kdenlive/effects/frei0r_devidoriv.xml and
#                    PREFIX/share/shotcut/qml/filters/devidoriv/),
#                    PREFIX/share/man/man1/devidoriv.1.gz, PREFIX/share/doc/devidoriv/
#   make uninstall   remove the files that the last make install wrote, as listed
#                    in $(BUILD_DIR)/install_manifest.txt, and the folders of their own
#                    (give the same DESTDIR)
#   make deb         build $(BUILD_DIR)/devidoriv_VERSION_ARCH.deb, the same files under /usr;
#                    it declares Enhances: kdenlive, shotcut
# make install builds what is missing first but does not configure again, so
# that sudo make install after make leaves the build folder to its owner.
# Without help2man the man page is left out.
PREFIX ?= /usr/local
DESTDIR ?=

# help2man writes the man page; dpkg-shlibdeps (dpkg-dev) finds the
# package's dependencies. make deb installs them when missing (as root).
DEB_PACKAGES = help2man dpkg-dev
NATIVE_PACKAGES += $(DEB_PACKAGES)

.PHONY: install uninstall deb deb-deps

$(BUILD_DIR)/CMakeCache.txt:
	$(MAKE) --no-print-directory configure

install: $(BUILD_DIR)/CMakeCache.txt
	cmake --build --preset default -j $(JOBS)
	DESTDIR='$(DESTDIR)' cmake --install $(BUILD_DIR) --prefix '$(PREFIX)'

uninstall:
	@DESTDIR='$(DESTDIR)' scripts/uninstall.sh $(BUILD_DIR)/install_manifest.txt

deb-deps:
	@scripts/install-deps.sh $(DEB_PACKAGES)

deb: deb-deps build
	cd $(BUILD_DIR) && cpack --config CPackConfig.cmake
