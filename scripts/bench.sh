#!/usr/bin/env bash
# Builds the benchmarks in Release and runs each (raster_bench first, then the others by
# name). BENCH_ARGS go to raster_bench only.
set -euo pipefail
dir=${BENCH_DIR:-build/bench}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=ON ${CMAKE_FLAGS:-}
mapfile -t targets < <(ninja -C "$dir" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_bench\): .*/\1/p' | sort -u)
cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
"$dir/bench/raster_bench" ${BENCH_ARGS:-}
for t in "${targets[@]}"; do
  [ "$t" = raster_bench ] && continue
  exe=$(find "$dir/bench" -type f -name "$t" -perm -u+x | head -n 1)
  echo; echo "== $t"
  "$exe"
done
