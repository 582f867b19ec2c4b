# Two entry points: `make run` and `make test`. Both install what is missing first.
# `make bench` builds the benchmarks in Release and runs them (not part of `make test`).
# `make fuzz` runs the picture decoders' fuzz target for FUZZ_TIME seconds (clang).
JOBS        ?= $(shell nproc)
BUILD_DIR   ?= build/release
TEST_DIR    ?= build/sanitize
BENCH_DIR   ?= build/bench
FUZZ_DIR    ?= build/fuzz
FUZZ_TIME   ?= 60
CMAKE_FLAGS ?=

.PHONY: all deps build run test fuzz bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/sources/quillo $(ARGS)

test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLO_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(TEST_DIR) -j $(JOBS)
	ctest --test-dir $(TEST_DIR) --output-on-failure -j $(JOBS)

fuzz:
	@bash scripts/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLO_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target picture_fuzz picture_seeds
	mkdir -p $(FUZZ_DIR)/corpus/picture $(FUZZ_DIR)/artifacts
	$(FUZZ_DIR)/tests/picture_seeds $(FUZZ_DIR)/corpus/picture
	$(FUZZ_DIR)/tests/picture_fuzz -max_total_time=$(FUZZ_TIME) -timeout=10 -rss_limit_mb=2048 \
		-artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/corpus/picture

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BENCH_DIR) -j $(JOBS) --target raster_bench
	$(BENCH_DIR)/bench/raster_bench $(BENCH_ARGS)

clean:
	rm -rf build
