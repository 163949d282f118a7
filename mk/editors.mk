# The editors the frei0r plug-in describes itself to, for trying it by hand
# and for the screenshots of docs/editors.md. Neither make test nor CI needs
# them.
#   make editors-deps          install Kdenlive and Shotcut, and what the
#                              screenshots take: Xvfb, xdotool, ImageMagick
#                              and a D-Bus session for Kdenlive (as root)
#   make editor-screenshots    docs/images/kdenlive-panel.png and
#                              docs/images/shotcut-panel.png: each editor's
#                              panel with Devidoriv applied to the sample clip,
#                              under Xvfb (scripts/editor-screenshots.sh; as
#                              root, since Shotcut reads filters only from
#                              its own share folder)
EDITOR_PACKAGES = kdenlive shotcut xvfb xauth xdotool imagemagick dbus-bin

.PHONY: editors-deps editor-screenshots

editors-deps:
	@scripts/install-deps.sh $(EDITOR_PACKAGES)

editor-screenshots: editors-deps build
	scripts/editor-screenshots.sh $(BUILD_DIR) samples/grace_hopper.y4m \
	  docs/images/kdenlive-panel.png docs/images/shotcut-panel.png
