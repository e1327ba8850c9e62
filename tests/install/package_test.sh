#!/usr/bin/env bash
# Builds the Debian package with CPack, checks its control fields and contents, unpacks it with
# dpkg-deb -x into an empty root (no root rights, no container) and runs the installed programs
# from there: the usage text, the version, and a round trip with the packaged files (the
# dictionary tables of xtables.sql, a table from the packaged copybook, backup, restore, and
# an export through the volmek-exp installed beside volmek).
# Usage: package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/volmek-package-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FALLO: $*"; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || fail "$tool no instalado (paquetes cmake, dpkg-dev)"
done

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/out/volmek_"$version"_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { ls -R "$tmp/out"; fail "no hay volmek_${version}_<arch>.deb"; }

# Control fields: the version, and dependencies computed from the shared libraries.
[ "$(dpkg-deb -f "$deb" Package)" = volmek ] || fail "Package"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libsqlite3-0 libsodium libfmt libicu; do
  echo "$depends" | grep -q "$library" || fail "Depends sin $library: $depends"
done

# Contents.
expected="./usr/bin/volmek
./usr/bin/volmek-exp
./usr/bin/volmek-imp
./usr/bin/volmek-plus
./usr/share/man/man1/volmek-exp.1.gz
./usr/share/man/man1/volmek-imp.1.gz
./usr/share/man/man1/volmek-plus.1.gz
./usr/share/man/man1/volmek.1.gz
./usr/share/volmek/copys/CLIENTES.cpy
./usr/share/volmek/xtables.sql"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "contenido del paquete distinto:
$actual"

root=$tmp/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
bin=$root/usr/bin
share=$root/usr/share/volmek
if command -v mandoc >/dev/null; then
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    mandoc -Tlint -W warning "$page" || fail "mandoc $page"
  done
fi

work=$tmp/work
mkdir -p "$work" && cd "$work" || fail "cd"
unset TEST BACKUP NLS_LANG KORVEL TBDATOS TBINDICES
export NOMBREBD=DEMO PASSWD=demo TNS="file:$work/demo.db"

# Runs one command; its standard output must be exactly $2 and its status $3.
expect() {
  local command=$1 want_out=$2 want_status=$3 got status
  got=$(eval "$command")
  status=$?
  [ "$status" = "$want_status" ] || fail "$command: estado $status, se esperaba $want_status
$got"
  [ "$got" = "$want_out" ] || fail "$command: salida
$got
--- se esperaba ---
$want_out"
}

"$bin/volmek" >usage.txt
[ $? = 1 ] || fail "volmek sin argumentos: estado"
head -2 usage.txt | cmp -s - <(printf 'volmek. Acciones directas sobre ORACLE.\nUso:    volmek <operacion> <paramentros> \n') ||
  fail "texto de uso: $(head -2 usage.txt)"
expect "'$bin/volmek' --version" "volmek $version" 0
expect "'$bin/volmek-plus' --version" "volmek-plus $version" 0

"$bin/volmek" fsql "$share/xtables.sql" >xtables.out || { cat xtables.out; fail "xtables.sql"; }
grep -q 'Error' xtables.out && { cat xtables.out; fail "xtables.sql con errores"; }
expect "KORVEL='$root/usr/share/volmek' '$bin/volmek' creacpy clicopy CLIENTES" "" 0
expect "'$bin/volmek' sql \"insert into clicopy (id_clicopy, cli_codigo, cli_nombre) values (1, 7, 'ANA')\"" \
  "
volmek. 1 fila procesada." 0
expect "'$bin/volmek' sql \"insert into clicopy (id_clicopy, cli_codigo, cli_nombre) values (2, 8, 'LUIS')\"" \
  "
volmek. 1 fila procesada." 0
before=$("$bin/volmek" sql "select cli_codigo, cli_nombre from clicopy order by 1")
expect "'$bin/volmek' backup CLICOPY" "Backup CLICOPY con 2 filas procesada." 0
expect "'$bin/volmek' delete CLICOPY" "Borrada tabla CLICOPY con 2 registros." 0
expect "'$bin/volmek' restore CLICOPY" "Restore CLICOPY con 2 filas recuperadas." 0
after=$("$bin/volmek" sql "select cli_codigo, cli_nombre from clicopy order by 1")
[ "$before" = "$after" ] || fail "la tabla restaurada difiere:
$after"
echo "$after" | grep -q 'LUIS' || fail "sin filas: $after"

# volmek finds its companion volmek-exp beside itself in the installed tree.
"$bin/volmek" exp CLICOPY >exp.out 2>&1 || { cat exp.out; fail "exp"; }
[ -s CLICOPY.dmp ] || { cat exp.out; fail "exp no escribio CLICOPY.dmp"; }
echo "paquete $(basename "$deb") correcto"
