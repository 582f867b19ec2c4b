# Two entry points: `make run` and `make test`. Both install what is missing first.
JOBS        ?= $(shell nproc)
BUILD_DIR   ?= build/release
TEST_DIR    ?= build/sanitize
CMAKE_FLAGS ?=

.PHONY: all deps build run test clean

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

clean:
	rm -rf build
