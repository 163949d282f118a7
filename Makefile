# Devidoriv: build, test and run the filter module. Every build goes
# through a preset of CMakePresets.json (cmake --preset, cmake --build
# --preset, ctest --preset); docs/building.md describes them.
#   make          build the module (build/devidoriv.so), the tool and the tests
#                 with what is installed; never installs anything
#   make deps     install every Debian package that the build, the tests and
#                 the optional tools need (as root)
#   make test     make deps, build, run all tests
#   make install  install into PREFIX (/usr/local); see mk/install.mk
#   make frei0r   the frei0r plug-in build/frei0r/devidoriv.so
#   make OWN_FFTW=ON ...   the module with an FFTW of its own, built from Debian's
#                          source package with AVX2 and linked in (DEVIDORIV_OWN_FFTW;
#                          see docs/performance.md); make test-own-fftw runs the
#                          suite so built, in build/own-fftw
# The default preset's build folder.
BUILD_DIR = build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Off: the module's own FFTW renders faster than Debian's library, but its
# estimated plans (a preview's) are slower at 1920x1080 (docs/performance.md).
OWN_FFTW ?= OFF

# Debian packages of the native build and its tests; the mk files add the
# optional tools. The build itself needs only a C++ compiler, CMake, FFTW
# and libpng; without the others configure leaves out what needs them.
NATIVE_PACKAGES = cmake make g++ pkg-config libfftw3-dev libgtest-dev libgmock-dev \
	libbenchmark-dev libpng-dev ffmpeg binutils python3

# Prerequisites run in the order written (make deps before the build); the
# builds themselves run JOBS jobs.
.NOTPARALLEL:
.PHONY: all deps configure build test test-own-fftw clean

all: build

deps:
	@scripts/install-deps.sh $(NATIVE_PACKAGES)

configure:
	cmake --preset default -DDEVIDORIV_OWN_FFTW=$(OWN_FFTW)

build: configure
	cmake --build --preset default -j $(JOBS)

test: deps build
	ctest --preset default -j $(JOBS)

test-own-fftw: deps
	cmake --preset own-fftw
	cmake --build --preset own-fftw -j $(JOBS)
	ctest --preset own-fftw -j $(JOBS)

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
