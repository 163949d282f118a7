# The frei0r plug-in, for ffmpeg's frei0r filter and the MLT editors.
#   make frei0r   install frei0r.h when missing (as root), build
#                 $(BUILD_DIR)/frei0r/devidoriv.so and the module it loads,
#                 $(BUILD_DIR)/devidoriv.so
# Use it with FREI0R_PATH=$(BUILD_DIR)/frei0r, or install it (docs/editors.md,
# "Using it"). Its tests are part of make test.
#
# frei0r.h comes from frei0r-plugins-dev (without it configure leaves the
# plug-in out); the tests run the plug-in in ffmpeg (already a native
# package), in melt and in GStreamer (gst-launch-1.0 with the frei0r
# elements of plugins-bad), check Shotcut's panel with qmllint
# (qtdeclarative5-dev-tools), and skip what is not installed.
FREI0R_PACKAGES = frei0r-plugins-dev
NATIVE_PACKAGES += $(FREI0R_PACKAGES) melt gstreamer1.0-tools gstreamer1.0-plugins-bad \
	qtdeclarative5-dev-tools

.PHONY: frei0r frei0r-deps

frei0r-deps:
	@scripts/install-deps.sh $(FREI0R_PACKAGES)

frei0r: frei0r-deps configure
	cmake --build --preset default -j $(JOBS) --target devidoriv_frei0r devidoriv

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
	@scripts/install-deps.sh melt ffmpeg
	scripts/frei0r-picture.sh $(BUILD_DIR)/frei0r $(DEMO_INPUT) $(FREI0R_PICTURE_FRAME) \
	  $(FREI0R_PICTURE) $(FREI0R_PICTURE_SETTINGS)
