# Devidoriv: build, test and run the filter module.
#   make          build the module (build/devidoriv.so), the tool and the tests
#   make test     install what is missing (as root), build, run all tests
#   make install  install into PREFIX (/usr/local); see mk/install.mk
#   make frei0r   the frei0r plug-in build/frei0r/devidoriv.so
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo

# Debian packages the native build and tests need.
NATIVE_PACKAGES = cmake make g++ pkg-config libfftw3-dev libgtest-dev libgmock-dev \
	libbenchmark-dev libpng-dev ffmpeg binutils

.PHONY: all deps configure build test clean

all: build

deps:
	@scripts/install-deps.sh $(NATIVE_PACKAGES)

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)

# make install, make uninstall, make deb.
include mk/install.mk

# The 32-bit Windows module: make windows, make test-windows.
include mk/windows.mk

# The Windows release archive: make windows-release, make test-windows-release.
include mk/release.mk

# The command-line tool on the bundled sample clip: make demo.
include mk/tool.mk

# Sanitizer builds and fuzzing: make test-sanitize, make fuzz.
include mk/hardening.mk

# The benchmarks: make bench, make bench-peer.
include mk/bench.mk

# The pictures of docs/guide.md: make gallery.
include mk/gallery.mk
# The frei0r plug-in: make frei0r.
include mk/frei0r.mk

# Kdenlive and Shotcut, and the screenshots of their panels: make
# editors-deps, make editor-screenshots.
include mk/editors.mk
