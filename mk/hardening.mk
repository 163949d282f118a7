# Hardening: the native suite under sanitizers, and fuzzing of what the
# tool reads from its users and of the module's wisdom cache file.
#   make test-sanitize   test-asan and test-tsan
#   make test-asan       every test built with AddressSanitizer + UBSan ($(ASAN_BUILD_DIR))
#   make test-tsan       every test built with ThreadSanitizer ($(TSAN_BUILD_DIR)): the worker
#                        pool, the row workers and FFTW's threads among them
#   make fuzz            the libFuzzer targets (clang), each for FUZZ_SECONDS seconds
# Every sanitizer finding ends its process with an error, so it fails its test.
ASAN_BUILD_DIR ?= build/asan
TSAN_BUILD_DIR ?= build/tsan
FUZZ_BUILD_DIR ?= build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = y4m_reader options wisdom
FUZZ_CC ?= clang-14
FUZZ_CXX ?= clang++-14

HARDENING_PACKAGES = clang-14 libclang-rt-14-dev
# make test runs the lifecycle test under valgrind when it is installed.
NATIVE_PACKAGES += valgrind

ASAN_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# A fuzz run fails on a crash, on an input that runs longer than 10 s (a
# hang), and on any single allocation above 64 MiB: the inputs are a few
# KiB, so a larger allocation can only come from what a header promises.
FUZZ_FLAGS = -timeout=10 -malloc_limit_mb=64 -rss_limit_mb=1024 -print_final_stats=1
FUZZ_MAX_LEN_y4m_reader = 8192
FUZZ_MAX_LEN_options = 1024
FUZZ_MAX_LEN_wisdom = 16384

.PHONY: hardening-deps test-sanitize test-asan test-tsan fuzz fuzz-build

hardening-deps: deps
	@scripts/install-deps.sh $(HARDENING_PACKAGES)

test-sanitize: test-asan test-tsan

test-asan: hardening-deps
	cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DDEVIDORIV_SANITIZE=address,undefined
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)

test-tsan: hardening-deps
	cmake -S . -B $(TSAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DDEVIDORIV_SANITIZE=thread
	cmake --build $(TSAN_BUILD_DIR) -j $(JOBS)
	cd $(TSAN_BUILD_DIR) && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS)

# The fuzz build compiles only the fuzz targets and what they link.
fuzz-build: hardening-deps
	CC=$(FUZZ_CC) CXX=$(FUZZ_CXX) cmake -S . -B $(FUZZ_BUILD_DIR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEVIDORIV_FUZZ=ON \
		-DDEVIDORIV_SANITIZE=address,undefined
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) $(addprefix --target fuzz_,$(FUZZ_TARGETS))

# Runs fuzz target $(1) for FUZZ_SECONDS from the seeds, keeping what it
# finds in a corpus of its own under $(FUZZ_BUILD_DIR) and writing a
# failing input to $(FUZZ_BUILD_DIR)/artifacts.
define RUN_FUZZER
	@mkdir -p $(FUZZ_BUILD_DIR)/corpus/$(1) $(FUZZ_BUILD_DIR)/artifacts
	@echo "fuzz_$(1): $(FUZZ_SECONDS) s from tests/fuzz/corpus/$(1)"
	@$(ASAN_ENV) $(FUZZ_BUILD_DIR)/fuzz_$(1) $(FUZZ_FLAGS) -max_len=$(FUZZ_MAX_LEN_$(1)) \
		-max_total_time=$(FUZZ_SECONDS) -dict=tests/fuzz/$(1).dict \
		-artifact_prefix=$(FUZZ_BUILD_DIR)/artifacts/$(1)- \
		$(FUZZ_BUILD_DIR)/corpus/$(1) tests/fuzz/corpus/$(1) > $(FUZZ_BUILD_DIR)/fuzz_$(1).log 2>&1 || \
		{ tail -n 40 $(FUZZ_BUILD_DIR)/fuzz_$(1).log; \
		  echo "fuzz_$(1) failed: the input is in $(FUZZ_BUILD_DIR)/artifacts"; exit 1; }
	@grep -E '^(Done|stat::(number_of_executed_units|peak_rss_mb|new_units_added))' \
		$(FUZZ_BUILD_DIR)/fuzz_$(1).log

endef

# The seeds, and the regression inputs among them, run once each first.
fuzz: fuzz-build
	cd $(FUZZ_BUILD_DIR) && $(ASAN_ENV) ctest --output-on-failure -L fuzz
	$(foreach t,$(FUZZ_TARGETS),$(call RUN_FUZZER,$(t)))
