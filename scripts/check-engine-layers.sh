#!/usr/bin/env bash
# Fails when a file of the embedded engine includes a header of its own stage's superiors.
# The stages, from the bottom: storage, values, then functions and catalog (which do not use
# each other), syntax, translate, plsql (the PL/SQL interpreter, which reaches SQL only through
# the runtime's cursors behind its Host interface), runtime. Usage: check-engine-layers.sh SRC_ENGINE_DIR
set -euo pipefail
dir=${1:?usage: check-engine-layers.sh SRC_ENGINE_DIR}
declare -A level=([storage]=0 [values]=1 [functions]=2 [catalog]=2 [syntax]=3 [translate]=4
                  [plsql]=5 [runtime]=6)
status=0
for stage in "${!level[@]}"; do
  [ -d "$dir/$stage" ] || continue
  while IFS=: read -r file line included; do
    target=${included#engine/}
    target=${target%%/*}
    [ "$target" = "$stage" ] && continue
    if [ -z "${level[$target]+set}" ]; then
      # engine/engine.h is the engine's public face: only the runtime implements it.
      [ "$stage" = runtime ] && continue
      echo "$file:$line: $stage no puede incluir $included"
      status=1
    elif [ "${level[$target]}" -ge "${level[$stage]}" ]; then
      echo "$file:$line: $stage no puede incluir $included (etapa $target)"
      status=1
    fi
  done < <(grep -rnoE '#include "engine/[^"]+"' "$dir/$stage" | sed -E 's/#include "([^"]+)"/\1/')
done
exit $status
