#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for 60 seconds from the seed
# corpus: every reader fixture and every kept finding, each followed by the
# option bytes the targets read from the end of their input. Exits non-zero
# on any crash, leak, timeout or sanitizer report; the failing input is left
# in the build folder's artifacts-<target>/ (keep it in
# tests/data/readers/crashes/ so the reader tests replay it).
#
# Environment: QV_FUZZ_BUILD_DIR (default: build-fuzz in the source tree, so
# each checkout builds apart), QV_FUZZ_SECONDS (default 60), QV_FUZZ_JOBS
# (build jobs, default 2).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QV_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${QV_FUZZ_SECONDS:-60}
jobs=${QV_FUZZ_JOBS:-2}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_FUZZERS=ON \
  -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF -DQV_BUILD_VIEWER=OFF -DQV_BUILD_TOOLS=OFF >/dev/null
status=0
for target in qv_decode_image_fuzzer qv_load_surface_fuzzer; do
  if ! cmake --build "$build" --target help | grep -q "$target"; then
    echo "run-fuzzers: $target is not configured" >&2
    continue
  fi
  if ! cmake --build "$build" --target "$target" -j"$jobs"; then
    echo "run-fuzzers: $target FAILED to build" >&2
    status=1
  fi
done

# Seeds: the fixtures, each with the option bytes appended in a few variants.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/decode" "$seeds/surface"
n=0
for f in "$root"/tests/data/readers/*/* "$root"/tests/data/image/png/*.png; do
  [ -f "$f" ] || continue
  case "$f" in *.sh|*.py|*.expect) continue ;; esac
  n=$((n + 1))
  for opt in 0 1 2; do
    { cat "$f"; printf "\\00$opt"; } > "$seeds/decode/$n-$opt"
  done
  { cat "$f"; printf '\000\000\000'; } > "$seeds/surface/$n-0"
  { cat "$f"; printf '\003\005\001'; } > "$seeds/surface/$n-1"
done

run() {
  name=$1
  seedset=$2
  binary=$build/fuzz/$name
  if [ ! -x "$binary" ]; then
    echo "run-fuzzers: $name was not built, skipped" >&2
    return 0
  fi
  corpus=$build/corpus-$name
  artifacts=$build/artifacts-$name
  mkdir -p "$corpus" "$artifacts"
  echo "run-fuzzers: $name for $seconds s" >&2
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       "$binary" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
         -dict="$root/fuzz/image.dict" -artifact_prefix="$artifacts/" "$corpus" "$seedset"; then
    echo "run-fuzzers: $name FAILED; inputs in $artifacts" >&2
    status=1
  fi
}
run qv_decode_image_fuzzer "$seeds/decode"
run qv_load_surface_fuzzer "$seeds/surface"
exit $status
