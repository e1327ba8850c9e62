#!/usr/bin/env bash
# Runs every fuzz target over its seed corpus, then for SECONDS seconds on new inputs.
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS]   (SECONDS 0: the corpus only)
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_PER_TARGET=${2:-${FUZZ_SECONDS:-60}}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
status=0
shopt -s nullglob
for target in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  name=${name#fuzz_}
  seeds="$ROOT/fuzz/corpus/$name"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "== $name: corpus $(ls "$work" | wc -l) ficheros, ${SECONDS_PER_TARGET}s"
  if ! "$target" -runs=0 "$work" >/tmp/fuzz_$name.log 2>&1; then
    echo "FALLO en el corpus de $name"; tail -30 /tmp/fuzz_$name.log; status=1
  elif [ "$SECONDS_PER_TARGET" -gt 0 ]; then
    if ! (cd "$work" && "$target" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -max_len=4096 "$work" >/tmp/fuzz_$name.log 2>&1); then
      echo "FALLO fuzzing $name"; tail -30 /tmp/fuzz_$name.log
      ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* 2>/dev/null || true
      status=1
    fi
  fi
  rm -rf "$work"
done
exit $status
