# The two commands a newcomer needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

BASE_PACKAGES = cmake g++ make libgtest-dev libnifti2-dev libpng-dev
TEST_PACKAGES = $(BASE_PACKAGES) valgrind locales chromium clang libclang-rt-14-dev
BENCH_PACKAGES = $(BASE_PACKAGES) libbenchmark-dev mricron-data python3-nibabel python3-numpy \
  python3-matplotlib hyperfine time
BENCH_IMAGE = $(BENCH_BUILD)/bench-data/ch2better.nii

.PHONY: all deps test-deps build test check check-asan fuzz bench demo clean

all: build

deps:
	@bash scripts/deps.sh $(BASE_PACKAGES)

test-deps:
	@bash scripts/deps.sh $(TEST_PACKAGES)
	@bash scripts/locale.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# Every test, then each fuzz target for FUZZ_SECONDS where clang is installed, then every
# test again under AddressSanitizer and UndefinedBehaviorSanitizer (whose summary ends the run).
test: test-deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@if command -v clang++ >/dev/null 2>&1; then $(MAKE) --no-print-directory fuzz; \
	else echo "clang++ not found: fuzz targets skipped"; fi
	$(MAKE) --no-print-directory check-asan

check-asan: test-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVORA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# libFuzzer targets (clang, with ASan and UBSan), each run for FUZZ_SECONDS from fuzz/seeds.
fuzz: test-deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKELVORA_FUZZ=ON -DKELVORA_TESTS=OFF -DKELVORA_WERROR=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target kelvora_fuzz_targets
	bash fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Not part of `make test`: micro-benchmarks (briefly), the allocation check, then the
# whole-run comparison with the floor program and the two Python peers (bench/run.sh),
# which ends with one table. Takes several minutes; peer 2 alone draws 2,000 figures.
bench:
	@bash scripts/deps.sh $(BENCH_PACKAGES)
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKELVORA_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target kelvora kelvora-microbench kelvora-floor \
	  kelvora-read-image kelvora-alloc-check
	mkdir -p $(BENCH_BUILD)/bench-data
	test -s $(BENCH_IMAGE) || { gzip -dc /usr/share/mricron/templates/ch2better.nii.gz \
	  > $(BENCH_IMAGE).tmp && mv $(BENCH_IMAGE).tmp $(BENCH_IMAGE); }
	$(BENCH_BUILD)/bench/kelvora-microbench --image=$(BENCH_IMAGE) --benchmark_min_time=0.1
	$(BENCH_BUILD)/bench/kelvora-alloc-check $(BENCH_IMAGE)
	bash bench/run.sh $(BENCH_BUILD)

check: test

demo: build
	@bash scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD) demo-output
