#!/usr/bin/env bash
# Builds the benchmarks in Release and runs each (raster_bench first, then the others by
# name, then scripts/idle_cpu.sh on the game itself: the idle main menu and a running level). BENCH_ARGS go to raster_bench only.
# A listed benchmark without a program, or one that fails, makes the whole run fail once
# every benchmark has had its turn. Benchmarks that show frames in a window start a virtual
# display of their own (Xvfb) and say so when they cannot. Every benchmark ends with one
# line per figure, "name: value unit (target …) ok|short"; they are gathered again at the end.
set -euo pipefail
dir=${BENCH_DIR:-build/bench}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=ON ${CMAKE_FLAGS:-}
# Ninja also lists CMake's internal order targets (cmake_object_order_depends_target_X_bench).
mapfile -t targets < <(ninja -C "$dir" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_bench\): .*/\1/p' | grep -v '^cmake_' | sort -u)
[ ${#targets[@]} -gt 0 ] || { echo "bench.sh: no benchmarks found" >&2; exit 1; }
cmake --build "$dir" -j "$jobs" --target "${targets[@]}" quillo
ordered=(raster_bench)
for t in "${targets[@]}"; do [ "$t" = raster_bench ] || ordered+=("$t"); done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
for t in "${ordered[@]}"; do
  exe=$(find "$dir/bench" -type f -name "$t" -perm -u+x | head -n 1)
  echo; echo "== $t"
  if [ -z "$exe" ]; then
    echo "bench.sh: $t has no program under $dir/bench" >&2
    status=1
    continue
  fi
  if [ "$t" = raster_bench ]; then
    "$exe" ${BENCH_ARGS:-} | tee -a "$log" || { echo "bench.sh: $t failed" >&2; status=1; }
  else
    "$exe" | tee -a "$log" || { echo "bench.sh: $t failed" >&2; status=1; }
  fi
done
echo; echo "== the game left alone (scripts/idle_cpu.sh)"
bash scripts/idle_cpu.sh "$dir" | tee -a "$log" || { echo "bench.sh: idle_cpu.sh failed" >&2; status=1; }
echo; echo "== figures"
grep -E '^[^ ].*: (-?[0-9.]+ .* \(target .*\) (ok|short)|skipped \(.*\))$' "$log" || true
exit $status
