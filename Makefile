# Two entry points: `make run` and `make test`. Both install what is missing first.
# `make bench` builds the benchmarks in Release and runs them (not part of `make test`).
# `make fuzz` runs every fuzz target in turn, FUZZ_TIME seconds each (clang).
JOBS        ?= $(shell nproc)
BUILD_DIR   ?= build/release
TEST_DIR    ?= build/sanitize
GOLDEN_DIR  ?= build/release-tests
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

# With a display the game is played by hand; without one (or with QUILLO_HEADLESS=1) it
# replays the scripted walk the end-to-end test plays, into a scratch save folder unless
# XDG_DATA_HOME is set: the walk creates a player that the person never made.
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ] || [ "$$QUILLO_HEADLESS" = 1 ]; then \
	  echo "No display: replaying tests/sources/walks/game.walk"; \
	  scratch=; \
	  if [ -z "$$XDG_DATA_HOME" ]; then \
	    scratch=$$(mktemp -d); trap 'rm -rf "$$scratch"' EXIT; \
	    export XDG_DATA_HOME="$$scratch"; \
	    echo "Saves go to the scratch folder $$scratch (removed afterwards; set XDG_DATA_HOME to keep them)"; \
	  fi; \
	  QUILLO_DESKTOP=960x640 QUILLO_WALK="$(CURDIR)/tests/sources/walks/game.walk" $(BUILD_DIR)/sources/quillo $(ARGS); \
	else \
	  $(BUILD_DIR)/sources/quillo $(ARGS); \
	fi

test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLO_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(TEST_DIR) -j $(JOBS)
	ctest --test-dir $(TEST_DIR) --output-on-failure -j $(JOBS)
	# The golden tests (cases named *Golden*) again, optimised: pictures must not depend on the
	# build. The whole-game walks are played only here (they take minutes under the sanitizers).
	cmake -S . -B $(GOLDEN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLO_TESTS_ONLY=Golden $(CMAKE_FLAGS)
	cmake --build $(GOLDEN_DIR) -j $(JOBS)
	ctest --test-dir $(GOLDEN_DIR) --output-on-failure -j $(JOBS)

fuzz:
	@bash scripts/install-deps.sh fuzz
	FUZZ_DIR=$(FUZZ_DIR) FUZZ_TIME=$(FUZZ_TIME) JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" bash scripts/fuzz.sh

bench: deps
	BENCH_DIR=$(BENCH_DIR) JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" BENCH_ARGS="$(BENCH_ARGS)" bash scripts/bench.sh

clean:
	rm -rf build
