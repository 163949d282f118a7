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
# The benchmarks never use the user's wisdom cache: off, or a file of their own.
# The bench preset's build folder.
BENCH_DIR = $(BUILD_DIR)/bench
BENCH_ARGS ?=
TOOL_RATIO_ARGS ?=
WISDOM_BENCH_ARGS ?=
# What the scripts run besides the build: Python, FFmpeg for the clips, GNU time.
BENCH_PACKAGES = python3 ffmpeg time

.PHONY: bench bench-tool bench-peer bench-wisdom bench-configure

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
