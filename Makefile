# The two commands a newcomer needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

BASE_PACKAGES = cmake g++ make libgtest-dev libnifti2-dev libpng-dev
TEST_PACKAGES = $(BASE_PACKAGES) valgrind locales chromium

.PHONY: all deps test-deps build test check check-asan demo clean

all: build

deps:
	@bash scripts/deps.sh $(BASE_PACKAGES)

test-deps:
	@bash scripts/deps.sh $(TEST_PACKAGES)
	@bash scripts/locale.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# Every test, then every test again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory check-asan

check-asan: test-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVORA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

check: test

demo: build
	@bash scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) demo-output
