# Benchmarks.
#   make bench        install what is missing (as root), build the Google
#                     Benchmark binary in build/bench (Release) and run it;
#                     the results also go to build/bench/results.json.
#                     BENCH_ARGS are handed on, e.g.
#                     make bench BENCH_ARGS=--benchmark_filter=ProcessFrame
#   make bench-tool   the command-line tool (Release, in build/bench) next to
#                     ProcessFrame alone, wall and CPU time per frame, at
#                     1920x1080 and 3840x2160, 8-bit 4:2:0 and 4:4:4 and
#                     10-bit 4:2:0, 1 and 2 threads (bench/tool-ratio.py);
#                     TOOL_RATIO_ARGS are handed on, e.g.
#                     make bench-tool TOOL_RATIO_ARGS="--sizes 1920x1080 --repeats 3"
#   make bench-peer   the command-line tool next to FFmpeg's fftfilt on a
#                     1920x1080 clip, frames per second and CPU seconds
#                     (bench/compare-peer.sh)
#   make bench-wisdom the wisdom cache: planning and first frames of renders
#                     and previews, each a fresh process, from a missing cache
#                     file under $(BENCH_DIR) (bench/wisdom_bench.cpp); the
#                     results also go to $(BENCH_DIR)/wisdom-results.json.
#                     WISDOM_BENCH_ARGS are handed on, e.g.
#                     make bench-wisdom WISDOM_BENCH_ARGS="--sizes 1920x1080 --threads 2"
#   make bench-own-fftw   the module on the system's FFTW next to the module on
#                     an FFTW of its own (DEVIDORIV_OWN_FFTW, preset bench-own-fftw,
#                     build/bench-own), ProcessFrame with measured plans at
#                     1280x720, 1920x1080 and 3840x2160, 1 and 2 threads, in
#                     interleaved rounds (bench/fftw-side-by-side.py);
#                     SIDE_BY_SIDE_ARGS are handed on, e.g.
#                     make bench-own-fftw SIDE_BY_SIDE_ARGS="--rounds 9", or
#                     SIDE_BY_SIDE_ARGS="--planning estimate" for a preview's plans
#   make bench-windows-fftw   the Windows module built on an SSE2-only FFTW next to
#                     the one on the SSE2, AVX and AVX2 FFTW of the release, under
#                     Wine, at 1920x1080 and 3840x2160, 1 and 2 threads; the i686
#                     modules under 32-bit Wine where the machine runs them, the
#                     x86-64 ones under wine64 otherwise (scripts/windows-probe.sh,
#                     or WINDOWS_ARCH=i686|x86_64); presets windows-bench-*
# The benchmarks never use the user's wisdom cache: off, or a file of their own.
# The bench preset's build folder.
BENCH_DIR = $(BUILD_DIR)/bench
BENCH_ARGS ?=
TOOL_RATIO_ARGS ?=
WISDOM_BENCH_ARGS ?=
SIDE_BY_SIDE_ARGS ?=
# What the scripts run besides the build: Python, FFmpeg for the clips, GNU time.
BENCH_PACKAGES = python3 ffmpeg time

.PHONY: bench bench-tool bench-peer bench-wisdom bench-configure bench-own-fftw \
	bench-windows-fftw

bench-configure: deps
	@scripts/install-deps.sh $(BENCH_PACKAGES)
	cmake --preset bench

bench: bench-configure
	cmake --build --preset bench -j $(JOBS) --target devidoriv_bench
	DEVIDORIV_WISDOM=off $(BENCH_DIR)/devidoriv_bench --benchmark_out=$(BENCH_DIR)/results.json \
	  --benchmark_out_format=json $(BENCH_ARGS)

bench-tool: bench-configure
	cmake --build --preset bench -j $(JOBS) --target devidoriv_tool devidoriv_frame_probe
	DEVIDORIV_WISDOM=off bench/tool-ratio.py --tool $(BENCH_DIR)/devidoriv --probe $(BENCH_DIR)/devidoriv_frame_probe \
	  $(TOOL_RATIO_ARGS)

bench-peer: build
	@scripts/install-deps.sh $(BENCH_PACKAGES)
	DEVIDORIV_WISDOM=off TOOL=$(BUILD_DIR)/devidoriv bench/compare-peer.sh

bench-wisdom: bench-configure
	cmake --build --preset bench -j $(JOBS) --target devidoriv_wisdom_bench
	$(BENCH_DIR)/devidoriv_wisdom_bench --cache $(BENCH_DIR)/wisdom-bench/fftw-wisdom.txt \
	  --json $(BENCH_DIR)/wisdom-results.json $(WISDOM_BENCH_ARGS)

# The module alone on an FFTW of its own (build/bench-own); the probe of
# the bench preset loads both modules, on the system's FFTW first. The
# bench preset keeps the system's FFTW: its probes reach the module's
# FFTW calls through the shared library.
bench-own-fftw: bench-configure
	cmake --preset bench-own-fftw
	cmake --build --preset bench-own-fftw -j $(JOBS)
	cmake --build --preset bench -j $(JOBS) --target devidoriv devidoriv_module_probe
	bench/fftw-side-by-side.py --probe $(BENCH_DIR)/devidoriv_module_probe \
	  --module system=$(BENCH_DIR)/devidoriv.so --module own=$(BUILD_DIR)/bench-own/devidoriv.so \
	  --wisdom-dir $(BENCH_DIR)/own-fftw-wisdom --sizes 1280x720,1920x1080,3840x2160 \
	  $(SIDE_BY_SIDE_ARGS)

# Per target ($*: i686 or x86_64), a Release build of the module and the
# probe on each FFTW (presets windows-bench-$*-avx2 and -sse2, in
# build/win-bench-$*-avx2 and -sse2): the release's (SSE2, AVX, AVX2) and
# an SSE2-only one.
WIN_BENCH_DIR = $(BUILD_DIR)/win-bench
WINE_LOADER_i686 = wine
WINE_LOADER_x86_64 = $(shell command -v wine64 || echo /usr/lib/wine/wine64)
WINE_RUN_i686 = scripts/wine-run.sh
WINE_RUN_x86_64 = scripts/wine-run.sh --win64

bench-windows-fftw:
	@scripts/install-deps.sh binutils python3
	@arch=$$(WINDOWS_ARCH='$(WINDOWS_ARCH)' scripts/windows-probe.sh) && \
		$(MAKE) --no-print-directory bench-windows-fftw-$$arch

win-bench-build-%: mingw-fftw-%
	@JOBS=$(JOBS) scripts/build-fftw.sh $* $(FFTW_PREFIX_$*)-sse2 sse2
	@scripts/install-windows-deps.sh $(if $(filter i686,$*),wine32,wine64)
	for simd in avx2 sse2; do \
	  cmake --preset windows-bench-$*-$$simd && \
	  cmake --build --preset windows-bench-$*-$$simd -j $(JOBS) || exit 1; \
	done

bench-windows-fftw-%: win-bench-build-%
	$(WINE_RUN_$*) bench/fftw-side-by-side.py \
	  --probe '$(WINE_LOADER_$*) $(WIN_BENCH_DIR)-$*-avx2/devidoriv_module_probe.exe' \
	  --module sse2=$(WIN_BENCH_DIR)-$*-sse2/devidoriv.auf \
	  --module avx2=$(WIN_BENCH_DIR)-$*-avx2/devidoriv.auf \
	  --wisdom-dir $(WIN_BENCH_DIR)-$*-wisdom --sizes 1920x1080,3840x2160 $(SIDE_BY_SIDE_ARGS)
