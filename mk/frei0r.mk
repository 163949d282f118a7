# The frei0r plug-in, for ffmpeg's frei0r filter and the MLT editors.
#   make frei0r   install what is missing (as root), build
#                 $(BUILD_DIR)/frei0r/devidoriv.so and the module it loads,
#                 $(BUILD_DIR)/devidoriv.so
# Use it with FREI0R_PATH=$(BUILD_DIR)/frei0r, or install it (README, "In
# Linux editors"). Its tests are part of make test.
#
# frei0r.h comes from frei0r-plugins-dev; the tests run the plug-in in
# ffmpeg (already a native package) and in melt.
NATIVE_PACKAGES += frei0r-plugins-dev melt

.PHONY: frei0r

frei0r: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target devidoriv_frei0r devidoriv
