#!/usr/bin/env bash
# Builds every libFuzzer target (executables named *_fuzz) with clang and runs each in turn
# for FUZZ_TIME seconds. A target X_fuzz gets its corpus in corpus/X; where a program
# X_seeds exists it writes the seed files there first. Findings land in artifacts/X/.
set -euo pipefail
dir=${FUZZ_DIR:-build/fuzz}
time=${FUZZ_TIME:-60}
jobs=${JOBS:-$(nproc)}
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLO_FUZZ=ON ${CMAKE_FLAGS:-}
mapfile -t targets < <(ninja -C "$dir" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_\(fuzz\|seeds\)\): .*/\1/p' | grep -v '^cmake_' | sort -u)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets" >&2; exit 1; }
cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
status=0
for t in "${targets[@]}"; do
  case "$t" in *_fuzz) ;; *) continue ;; esac
  name=${t%_fuzz}
  exe=$(find "$dir" -type f -name "$t" -perm -u+x | head -n 1)
  corpus="$dir/corpus/$name"; artifacts="$dir/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  seeds=$(find "$dir" -type f -name "${name}_seeds" -perm -u+x | head -n 1)
  [ -n "$seeds" ] && "$seeds" "$corpus"
  echo "== $t for ${time}s"
  "$exe" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" "$corpus" || status=1
done
exit $status
