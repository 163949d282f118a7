# The command-line tool's demo on the bundled sample clip.
#   make demo    install what is missing (as root), build, filter the sample
#                into out/demo.y4m with before, after and spectrum PNGs
DEMO_DIR ?= out
DEMO_INPUT ?= samples/grace_hopper.y4m
# Visible settings: a luma low-pass of a quarter of the frequencies in each
# direction, chroma a little stronger.
DEMO_SETTINGS ?= --luma-a 40 --luma-b 30 --luma-w 50 --chroma-a 20 --chroma-b 15
# The frame of the pictures, counted from 0.
DEMO_FRAME ?= 16
DEMO_TOOL = $(BUILD_DIR)/devidoriv

.PHONY: demo

demo: deps build $(DEMO_INPUT)
	@mkdir -p $(DEMO_DIR)
	$(DEMO_TOOL) $(DEMO_SETTINGS) \
	  --snapshot-input $(DEMO_FRAME):$(DEMO_DIR)/before.png \
	  --snapshot $(DEMO_FRAME):$(DEMO_DIR)/after.png \
	  $(DEMO_INPUT) $(DEMO_DIR)/demo.y4m
	$(DEMO_TOOL) --quiet $(DEMO_SETTINGS) --show-spectrum --plane y \
	  --start $(DEMO_FRAME) --frames 1 --snapshot 0:$(DEMO_DIR)/spectrum.png \
	  $(DEMO_INPUT) /dev/null
	@echo "demo: filtered video  $(DEMO_DIR)/demo.y4m  (play it: ffplay $(DEMO_DIR)/demo.y4m)"
	@echo "demo: frame $(DEMO_FRAME) before  $(DEMO_DIR)/before.png"
	@echo "demo: frame $(DEMO_FRAME) after   $(DEMO_DIR)/after.png"
	@echo "demo: luma spectrum   $(DEMO_DIR)/spectrum.png  (top-left block)"

# The sample is committed; should it be missing, it is made again from the
# photograph in Debian's python-matplotlib-data.
$(DEMO_INPUT):
	@scripts/install-deps.sh ffmpeg python-matplotlib-data
	samples/make-sample.sh $@
