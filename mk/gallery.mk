# The pictures of the user's guide, and what the batch script needs.
#   make gallery   install what is missing (as root), build, and render the
#                  pictures of docs/guide.md into $(GALLERY_DIR) with the
#                  tool (scripts/gallery/make-gallery.sh); on the same
#                  machine the result is the committed pictures byte for byte
GALLERY_DIR ?= docs/images/gallery

# scripts/filter-parallel.sh runs the tool under GNU parallel; make test
# runs it.
NATIVE_PACKAGES += parallel

.PHONY: gallery

gallery: deps build samples/grace_hopper.y4m
	rm -f $(GALLERY_DIR)/*.png
	TOOL=$(BUILD_DIR)/devidoriv COMPOSE=$(BUILD_DIR)/png-compose \
	  scripts/gallery/make-gallery.sh $(GALLERY_DIR)
