#!/usr/bin/env bash
# Runs every fuzz target of BUILD_DIR over its seed corpus, then for SECONDS seconds on new
# inputs. Usage: scripts/fuzz.sh BUILD_DIR [SECONDS]   (SECONDS 0: the seed corpus only)
#
#   FUZZ_TARGETS="sql tokenizer"   only these targets (default: every fuzz_* in BUILD_DIR/fuzz)
#
# Seeds: fuzz/<name>/corpus/; dictionaries: fuzz/<name>/<name>.dict.
# Inputs found while fuzzing stay in BUILD_DIR/fuzz-work/<name>/ and are replayed by the next
# run; a crash, leak, undefined behaviour or timeout is kept in BUILD_DIR/fuzz-artifacts/<name>/
# and the run ends with status 1. Logs: BUILD_DIR/fuzz-logs/<name>.log.
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_PER_TARGET=${2:-${FUZZ_SECONDS:-60}}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "$BUILD" && pwd)

# Undefined behaviour ends the run like a crash (the build makes it fatal too).
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

targets=()
if [ -n "${FUZZ_TARGETS:-}" ]; then
  for name in $FUZZ_TARGETS; do targets+=("$BUILD/fuzz/fuzz_$name"); done
else
  shopt -s nullglob
  targets=("$BUILD"/fuzz/fuzz_*)
fi
[ ${#targets[@]} -gt 0 ] || { echo "No hay objetivos de fuzzing en $BUILD/fuzz"; exit 1; }
mkdir -p "$BUILD/fuzz-logs"

# One target: the seeds, then the fuzzing. Prints one summary line; status 1 on a finding.
run_target() {
  local target=$1 name seeds work artifacts log
  name=$(basename "$target")
  name=${name#fuzz_}
  seeds="$ROOT/fuzz/$name/corpus"
  work="$BUILD/fuzz-work/$name"
  artifacts="$BUILD/fuzz-artifacts/$name"
  log="$BUILD/fuzz-logs/$name.log"
  mkdir -p "$work" "$artifacts" "$seeds"
  if [ ! -x "$target" ]; then
    echo "== $name: FALLO, no existe $target"
    return 1
  fi
  local flags=(-artifact_prefix="$artifacts/" -timeout=25 -rss_limit_mb=2048 -max_len=4096
               -print_final_stats=1)
  # The words of the input's language, when the target has a dictionary.
  [ -f "$ROOT/fuzz/$name/$name.dict" ] && flags+=(-dict="$ROOT/fuzz/$name/$name.dict")
  local started=$SECONDS
  # libFuzzer's own timeout runs in a signal handler and can hang in the allocator: bound every
  # run from outside as well (status 124 then).
  local bound=$((SECONDS_PER_TARGET + 300))
  if ! timeout -k 10 "$bound" "$target" "${flags[@]}" -runs=0 "$seeds" "$work" >"$log" 2>&1; then
    echo "== $name: FALLO en el corpus ($(ls "$seeds" | wc -l) semillas, $(ls "$work" | wc -l) halladas), ver $log"
    tail -40 "$log"
    return 1
  fi
  if [ "$SECONDS_PER_TARGET" -gt 0 ]; then
    # New inputs go to the first directory (the work corpus); the seeds are only read.
    if ! timeout -k 10 "$bound" "$target" "${flags[@]}" -max_total_time="$SECONDS_PER_TARGET" \
        "$work" "$seeds" >>"$log" 2>&1; then
      echo "== $name: FALLO fuzzing, ver $log"
      tail -40 "$log"
      ls "$artifacts"
      return 1
    fi
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
  echo "== $name: bien, $(ls "$seeds" | wc -l) semillas, $(ls "$work" | wc -l) en el corpus," \
       "${runs:-0} entradas en ${SECONDS_PER_TARGET}s, $((SECONDS - started))s en total"
}

status=0
for target in "${targets[@]}"; do run_target "$target" || status=1; done
exit $status
