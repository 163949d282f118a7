# The frei0r plug-in, for ffmpeg's frei0r filter and the MLT editors.
#   make frei0r   install what is missing (as root), build
#                 $(BUILD_DIR)/frei0r/devidoriv.so and the module it loads,
#                 $(BUILD_DIR)/devidoriv.so
# Use it with FREI0R_PATH=$(BUILD_DIR)/frei0r, or install it (README, "In
# Linux editors"). Its tests are part of make test.
#
# frei0r.h comes from frei0r-plugins-dev; the tests run the plug-in in
# ffmpeg (already a native package), in melt, and in GStreamer
# (gst-launch-1.0 with the frei0r elements of plugins-bad), and check
# Shotcut's panel with qmllint (qtdeclarative5-dev-tools).
NATIVE_PACKAGES += frei0r-plugins-dev melt gstreamer1.0-tools gstreamer1.0-plugins-bad \
	qtdeclarative5-dev-tools

.PHONY: frei0r

frei0r: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target devidoriv_frei0r devidoriv

# The README's picture: frame FREI0R_PICTURE_FRAME of the sample clip as
# melt renders it without the plug-in, with it, and with the luma
# spectrum drawn in.
#   make frei0r-picture
FREI0R_PICTURE ?= docs/images/frei0r-before-after.png
FREI0R_PICTURE_FRAME ?= 16
# The demo's settings (make demo) as frei0r values, radii in pixels / 4096:
# luma a 40, b 30, w 50, chroma a 20, b 15.
FREI0R_PICTURE_SETTINGS ?= luma_a=0.009765625 luma_b=0.00732421875 chroma_a=0.0048828125 \
  chroma_b=0.003662109375

.PHONY: frei0r-picture

frei0r-picture: frei0r $(DEMO_INPUT)
	scripts/frei0r-picture.sh $(BUILD_DIR)/frei0r $(DEMO_INPUT) $(FREI0R_PICTURE_FRAME) \
	  $(FREI0R_PICTURE) $(FREI0R_PICTURE_SETTINGS)
