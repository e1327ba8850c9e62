#!/usr/bin/env bash
# `cmake --install` into an empty prefix puts exactly the programs, the shared files and the
# compressed manual pages where they belong, and the installed program runs.
# Usage: install_tree_test.sh BUILD_DIR
set -uo pipefail
build=$1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/volmek-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FALLO: $*"; exit 1; }

cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; fail "cmake --install"; }
expected="bin/volmek
bin/volmek-exp
bin/volmek-imp
bin/volmek-plus
share/man/man1/volmek-exp.1.gz
share/man/man1/volmek-imp.1.gz
share/man/man1/volmek-plus.1.gz
share/man/man1/volmek.1.gz
share/volmek/copys/CLIENTES.cpy
share/volmek/xtables.sql"
actual=$(cd "$tmp/prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "arbol instalado distinto:
$actual"
for program in volmek volmek-plus volmek-exp volmek-imp; do
  [ -x "$tmp/prefix/bin/$program" ] || fail "$program no es ejecutable"
  "$tmp/prefix/bin/$program" --version | grep -q "^$program [0-9]" || fail "$program --version"
done
cmp -s "$tmp/prefix/share/volmek/xtables.sql" "$(dirname "$0")/../../sql/xtables.sql" ||
  fail "xtables.sql no es el del repositorio"
gzip -dc "$tmp/prefix/share/man/man1/volmek.1.gz" | head -1 | grep -q '^\.TH VOLMEK 1' ||
  fail "volmek.1.gz no es la pagina de manual"
echo "arbol instalado correcto"
