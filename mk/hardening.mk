# Hardening: the native suite under sanitizers, and fuzzing of what the
# tool reads from its users and of the module's wisdom cache file.
#   make test-sanitize   test-asan and test-tsan
#   make test-asan       every test built with AddressSanitizer + UBSan (preset asan, build/asan)
#   make test-tsan       every test built with ThreadSanitizer (preset tsan, build/tsan): the
#                        worker pool, the row workers and FFTW's threads among them
#   make fuzz            the libFuzzer targets (preset fuzz, clang, build/fuzz): every seed
#                        once, then each target for FUZZ_SECONDS seconds
# Every sanitizer finding ends its process with an error, so it fails its
# test; the test presets set the sanitizers' options.
FUZZ_BUILD_DIR = $(BUILD_DIR)/fuzz
FUZZ_SECONDS ?= 60

HARDENING_PACKAGES = clang-14 libclang-rt-14-dev
# make test runs the lifecycle test under valgrind when it is installed.
NATIVE_PACKAGES += valgrind

.PHONY: hardening-deps test-sanitize test-asan test-tsan fuzz fuzz-build

hardening-deps: deps
	@scripts/install-deps.sh $(HARDENING_PACKAGES)

test-sanitize: test-asan test-tsan

test-asan: hardening-deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: hardening-deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

# The fuzz build compiles only the fuzz targets and what they link.
fuzz-build: hardening-deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

# The seeds, and the regression inputs among them, run once each first;
# then each target fuzzes (tests/fuzz/run_fuzzer.sh), keeping what it
# finds in a corpus of its own under $(FUZZ_BUILD_DIR)/corpus and writing
# a failing input to $(FUZZ_BUILD_DIR)/artifacts. Last, what each run did.
fuzz: fuzz-build
	FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz -j $(JOBS)
	@grep -H -E '^(Done|stat::(number_of_executed_units|peak_rss_mb|new_units_added))' \
		$(FUZZ_BUILD_DIR)/fuzz_*.log
