#!/usr/bin/env bash
# The README's quick start and short tour work when pasted: their two shell blocks run, in one
# shell, against this build tree's programs (the block's `make` is the build that has already
# happened), every command succeeds and none prints an Oracle error or a refusal.
# Usage: readme_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/volmek-readme-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# The ```sh blocks that follow the two headings, in order.
awk '
  /^## / { section = $0 }
  /^```sh$/ && (section == "## Quick start" || section == "## A short tour") { inside = 1; next }
  /^```$/ { inside = 0 }
  inside { print }
' "$source_dir/README.md" >"$tmp/blocks.sh"
grep -q '^volmek sql' "$tmp/blocks.sh" || { echo "FALLO: sin bloques en README.md"; exit 1; }

{
  echo 'set -e'
  echo "cd '$source_dir'"
  # `make` has been run: the programs are those of this build tree.
  sed -e 's|^make$|true|' -e "s|\\\$PWD/build|$build_dir|" "$tmp/blocks.sh"
} >"$tmp/run.sh"

TMPDIR=$tmp bash "$tmp/run.sh" >"$tmp/out.txt" 2>&1
status=$?
if [ $status -ne 0 ] || grep -q -e 'Error' -e 'Imposible' -e 'Warning. Fichero' "$tmp/out.txt"; then
  echo "FALLO: estado $status"
  cat "$tmp/run.sh"
  echo "---"
  cat "$tmp/out.txt"
  exit 1
fi
grep -q 'bcp %NOMBD%.dbo.clientes in clientes.bcp' "$tmp/out.txt" ||
  { cat "$tmp/out.txt"; echo "FALLO: carga.bat sin la linea de clientes"; exit 1; }
echo "README: inicio rapido y recorrido correctos"
