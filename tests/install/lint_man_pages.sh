#!/usr/bin/env bash
# Lints every manual page with mandoc at its strictest level (style remarks included) and
# checks that each names the project's version in its title line.
# Usage: lint_man_pages.sh MAN_DIR VERSION
set -uo pipefail
man_dir=$1
version=$2
command -v mandoc >/dev/null || { echo "mandoc no instalado (paquete mandoc)"; exit 1; }
failed=0
pages=("$man_dir"/*.1)
[ ${#pages[@]} -eq 4 ] || { echo "se esperaban 4 paginas en $man_dir: ${pages[*]}"; failed=1; }
for page in "${pages[@]}"; do
  if ! mandoc -Tlint -W style "$page"; then
    failed=1
  fi
  if ! head -1 "$page" | grep -q "\"volmek $version\""; then
    echo "$page: la linea .TH no dice \"volmek $version\""
    failed=1
  fi
done
exit $failed
