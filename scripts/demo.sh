#!/usr/bin/env bash
# A short tour of volmek on a new embedded database in a temporary directory.
# Usage: scripts/demo.sh [BUILD_DIR]   (the directory holding the built volmek)
#
# Each step prints the command it runs, then what volmek printed and its exit status. Add the
# tour of a new operation as a step of its own below (keep the database's state in mind: the
# steps run in order on one database).
set -uo pipefail
BUILD=${1:-build}
VOLMEK="$(cd "$BUILD" && pwd)/volmek"
DEMO=$(mktemp -d /tmp/volmek-demo-XXXXXX)
echo "== Directorio de la demo: $DEMO"
cd "$DEMO" || exit 1

export NOMBREBD=DEMO PASSWD=demo TNS="file:$DEMO/demo.db"
unset TEST
echo "== NOMBREBD=$NOMBREBD PASSWD=$PASSWD TNS=$TNS"

# Runs volmek with the given arguments, showing the command and the exit status.
step() {
  echo
  echo "\$ volmek $(printf '%q ' "$@")"
  "$VOLMEK" "$@"
  echo "[estado de salida: $?]"
}

echo
echo "== Sin argumentos: el texto de uso"
step

echo
echo "== sql: una sentencia; la base de datos se crea en la primera conexion"
step sql "create table clientes (id number(6) primary key, nombre varchar2(30), saldo number(10,2), alta date)"
step sql "insert into clientes values (1, 'ana', 1500.5, to_date('15-01-2024', 'DD-MM-YYYY'))"
step sql "select * from clientes"

echo
echo "== fsql: un guion con un bloque PL/SQL y una sentencia que falla a mitad"
cat > carga.sql <<'SQL'
-- lineas de comentario y lineas vacias se saltan
insert into clientes values (2, 'Luis', 20, null)
;

begin
  insert into clientes values (3, 'Eva', 300.25, null);
  insert into clientes values (4, 'Juan', null, null);
end;
;
insert into clientes values (1, 'repetido', 0, null)
;
update clientes set saldo = saldo + 1 where saldo is not null
SQL
cat carga.sql
step fsql carga.sql
step sql "select id, nombre, saldo from clientes order by id"

echo
echo "== fiche: cada sentencia termina en una linea que empieza por ;"
printf 'delete from clientes\nwhere id = 4\n;\n' > borrar.txt
step fiche borrar.txt
step sql "select count(*) from clientes"

echo
echo "== Con TEST=1 se muestran las sentencias"
TEST=1 step sql "select nombre from clientes where id = 2"

echo
echo "== Fin de la demo. La base de datos queda en $DEMO/demo.db"
