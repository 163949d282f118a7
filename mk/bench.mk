# Benchmarks.
#   make bench        install what is missing (as root), build the Google
#                     Benchmark binary in build/bench (Release) and run it;
#                     the results also go to build/bench/results.json.
#                     BENCH_ARGS are handed on, e.g.
#                     make bench BENCH_ARGS=--benchmark_filter=ProcessFrame
#   make bench-peer   the command-line tool next to FFmpeg's fftfilt on a
#                     1920x1080 clip (bench/compare-peer.sh)
BENCH_DIR ?= $(BUILD_DIR)/bench
BENCH_ARGS ?=

.PHONY: bench bench-peer

bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DDEVIDORIV_BUILD_BENCH=ON \
	  -DDEVIDORIV_BUILD_TESTS=OFF -DDEVIDORIV_BUILD_TOOLS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS) --target devidoriv_bench
	$(BENCH_DIR)/devidoriv_bench --benchmark_out=$(BENCH_DIR)/results.json \
	  --benchmark_out_format=json $(BENCH_ARGS)

bench-peer: build
	TOOL=$(BUILD_DIR)/devidoriv bench/compare-peer.sh
