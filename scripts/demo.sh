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
  local shown="" arg
  for arg in "$@"; do
    case "$arg" in
      *[[:space:]\'\"\*\(\)\;\<\>]*) shown+=" \"$arg\"" ;;
      *) shown+=" $arg" ;;
    esac
  done
  echo
  echo "\$ volmek$shown"
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
echo "== Mantenimiento: diccionario de registros, repro, reproa, dupestru, sort, delete, borra"
REPO=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$(dirname "$VOLMEK")/CMakeCache.txt")
cp "$REPO/sql/xtables.sql" xtables.sql
step fsql xtables.sql
cat > registro.sql <<'SQL'
create table cli (id_cli number(10), codigo char(6), nombre varchar2(20), saldo number(9,2))
;
insert into cli values (1, 'C001', 'Ana', 1500.5)
;
insert into cli values (2, 'C002', 'Luis', 20)
;
insert into cli values (3, 'C003', 'Eva', 300.25)
;
insert into xcampo values ('CLI', 0, 'CODIGO', 'CODIGO', 'A', ' ', 6, 0, ' ')
;
insert into xcampo values ('CLI', 1, 'NOMBRE', 'NOMBRE', 'A', ' ', 20, 0, ' ')
;
insert into xcampo values ('CLI', 2, 'SALDO', 'SALDO', 'N', ' ', 9, 2, 'S')
;
insert into xclave values ('CLI', 0, 'CODIGO', 'A')
SQL
cat registro.sql
step fsql registro.sql
export TBDATOS=USERS TBINDICES=USERS
TEST=1 step repro cli cli2
step sql "select * from cli2"
step sql "update cli set codigo = 'N' || substr(codigo, 2)"
step reproa cli cli2
step sql "select id_cli2, codigo from cli2 order by id_cli2"
step dupestru cli3 cli
step info cli3
step sort -i1cli2 -ocliord -orden NOMBRE DESC CODIGO -incluye "SALDO>100"
step sql "select * from xclave where indice = 'CLIORD'"
step sort -i1cli
step repro nohay cli2
step delete cli2
step borra cliord
step sql "select object_name from user_objects where object_name like 'CLI%' order by 1"
echo N | step borra all
unset TBDATOS TBINDICES

echo
echo "== Migracion a SQL Server: catalogo, volmek-plus, genera, backup all, traspaso"
# In a directory of its own: traspaso takes every .txt file of the current directory.
mkdir -p "$DEMO/migracion" && cd "$DEMO/migracion" || exit 1
step sql "create index i_clientes_nombre on clientes (nombre, alta)"
step sql "create view v_clientes as select id, nombre from clientes"
step catalogo all
head -n 12 catalogo.sql
PLUS="$(dirname "$VOLMEK")/volmek-plus"
echo
echo "\$ volmek-plus catalogo.sql"
"$PLUS" catalogo.sql
echo "[estado de salida: $?]"
echo "-- catalogo.txt (primeras lineas):"
head -n 20 catalogo.txt
step genera all
echo "-- genera.sql (primeras lineas):"
head -n 30 genera.sql
step backup all
step traspaso all
echo "-- clientes.bcp:"
cat clientes.bcp
echo "-- carga.bat:"
cat carga.bat
cd "$DEMO" || exit 1

echo
echo "== Datos de tablas: backup, restore, add, salvalf, info, estadis, exp, imp"
cat > notas.sql <<'SQL'
create table notas (id number(6), texto varchar2(60), importe number(14,4), cuando date)
;
insert into notas values (1, 'O''Neil, con coma y ~', 1234.5, to_date('2026-12-08 23:59:58', 'YYYY-MM-DD HH24:MI:SS'))
;
insert into notas values (2, null, 12345678.1234, null)
SQL
step fsql notas.sql
step backup notas
echo "-- notas.txt:"
cat notas.txt
step restore notas
step sql "select * from notas order by id"
printf "3,'anadida',-0.25,'2027-01-01 08:00:00'\n" > notas.txt
step add notas
step info notas
step estadis notas
step info notas
printf "4,'mal'\n" > notas.txt
step add notas
step salvalf cli cli.lf
echo "-- CLI.LF:"
cat CLI.LF
step exp notas
step sql "drop table notas"
step imp notas
step sql "select count(*) from notas"

echo
echo "== creacpy: un copy COBOL en una tabla con sus filas de XCAMPO (KORVEL=demo del repositorio)"
REPO=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$(dirname "$VOLMEK")/CMakeCache.txt")
export KORVEL="$REPO/demo"
echo "-- $KORVEL/copys/CLIENTES.cpy:"
cat "$KORVEL/copys/CLIENTES.cpy"
step creacpy clicopy CLIENTES
step sql "select column_name, data_type, data_precision, data_scale, data_length from user_tab_columns where table_name = 'CLICOPY' order by column_id"
step sql "select orden, nombre, tipo, uso, longitud, decimales, signo from xcampo where indice = 'CLICOPY' order by orden"
TEST=1 step creacpy clicopy CLIENTES
echo "-- Un copy con un error: la tabla anterior no se toca"
step creacpy clicopy ROTO
step creacpy clicopy NOHAY
step sql "select count(*) from xcampo where indice = 'CLICOPY'"
unset KORVEL

echo
echo "== Fin de la demo. La base de datos queda en $DEMO/demo.db"
