#!/usr/bin/env bash
# Times volmek against the sqlite3 shell and PostgreSQL 15 on the same rows of five columns
# (integer, NUMBER(12,2), VARCHAR2(40), CHAR(8), DATE), BENCH_ROWS of them (1,000,000 by default):
#   restore  vs  sqlite3 loading the rows as inserts in one transaction  vs  COPY FROM the text
#   restore into a table with a primary key  vs  restore into the table without one
#   backup   vs  sqlite3 ".mode insert" dump of the rows                 vs  COPY TO a text file
#   logon    (`volmek sql "select 1 from dual"`, the whole process)     vs  sqlite3's start
# and prints the ratios as its last lines (volmek's time divided by the other's: lower is
# faster, 1.0 as fast). Peak memory (maximum resident set) is printed beside each volmek time.
#
# PostgreSQL runs as a private cluster in the temporary directory, on a Unix socket only, with
# its default durability (fsync and WAL on); it is started here and stopped on exit. initdb
# refuses root, so as root the cluster runs as the user `nobody`.
#
# Each timing is the best of BENCH_REPEAT runs (3 by default): the machine may be shared, and
# the best run is the least disturbed one. The machine's load is printed before and after.
#
# BENCH_ONLY=plsql runs the PL/SQL section alone (its rows are made there): the quick check of
# a change to the interpreter, without PostgreSQL and the million rows.
#
# Structure: each section is a function that times its commands and appends its ratio lines to
# RATIOS; main runs the sections in order and prints RATIOS last. A new comparison is one more
# function and one more line in main.
set -euo pipefail
BUILD=${1:-build-release}
BUILD=$(cd "$BUILD" && pwd)  # absolute before the script changes directory
ROWS=${BENCH_ROWS:-1000000}
REPEAT=${BENCH_REPEAT:-3}
VOLMEK="$BUILD/volmek"
PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}

WORK=$(mktemp -d /tmp/volmek-bench-XXXXXX)
PG_DATA="$WORK/pg/data"
PG_SOCKET="$WORK/pg"
PG_USER_OS=""  # the system user the cluster runs as (empty: the current one)
cleanup() {
  if [ -f "$PG_DATA/postmaster.pid" ]; then pg_as "$PG_BIN/pg_ctl" -D "$PG_DATA" -m fast stop \
    > /dev/null 2>&1 || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK"
export NOMBREBD=BENCH PASSWD=bench TNS="file:$WORK/bench.db"
unset BACKUP TEST

RATIOS=()

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/d" }'; }
load() { uptime | sed 's/.*load average: /carga /'; }

# best_of SETUP COMMAND: runs SETUP (untimed) then times COMMAND, REPEAT times; prints the
# shortest wall time.
best_of() {
  local setup=$1 command=$2 best="" start end took
  for _ in $(seq "$REPEAT"); do
    eval "$setup"
    start=$(now)
    eval "$command"
    end=$(now)
    took=$(elapsed "$start" "$end")
    if [ -z "$best" ] || awk -v a="$took" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$took; fi
  done
  echo "$best"
}

# per_run COMMAND: the wall time of one run of a short COMMAND, from a series of 20 runs in a
# row (the best of REPEAT series): a run alone takes little more than the clock's own cost of
# starting `date` twice.
per_run() {
  local runs=20 series
  series=$(best_of : 'for _ in $(seq '"$runs"'); do '"$1"'; done')
  awk -v t="$series" -v n="$runs" 'BEGIN { printf "%.4f", t / n }'
}

# peak_kib COMMAND...: the maximum resident set of one run of COMMAND, in KiB; the processor
# time of that run (user and system, seconds) is left in LAST_CPU. On a loaded machine the
# processor time says what a run costs when the wall time mostly says how long it waited.
LAST_CPU=0
peak_kib() {
  /usr/bin/time -f "%M %U %S" -o "$WORK/peak" "$@" > /dev/null
  LAST_CPU=$(awk '{ printf "%.2f", $2 + $3 }' "$WORK/peak")
  awk '{ print $1 }' "$WORK/peak"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

pg_as() {
  if [ -n "$PG_USER_OS" ]; then runuser -u "$PG_USER_OS" -- "$@"; else "$@"; fi
}
psql_run() { "$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$PG_SOCKET" -U bench -d postgres "$@"; }

micro_benchmarks() {
  if [ -x "$BUILD/bench/table_text_bench" ]; then
    "$BUILD/bench/table_text_bench" --benchmark_min_time=0.2 || true
  else
    echo "(sin micro-benchmarks: falta $BUILD/bench/table_text_bench)"
  fi
}

make_rows() {
  echo "== $ROWS filas: id number(10), importe number(12,2), nombre varchar2(40), codigo char(8), fecha date"
  "$VOLMEK" sql "create table bench (id number(10), importe number(12,2), nombre varchar2(40), codigo char(8), fecha date)" > /dev/null
  awk -v n="$ROWS" 'BEGIN {
    for (i = 1; i <= n; i++)
      printf "%d,%d.%02d,'"'"'Cliente numero %d'"'"','"'"'C%07d'"'"','"'"'2026-%02d-%02d %02d:%02d:%02d'"'"'\n",
             i, i % 100000, i % 100, i, i % 10000000, i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60
  }' > BENCH.txt
  cp BENCH.txt rows.txt  # the text PostgreSQL loads (restore may be run again on BENCH.txt)
  chmod 755 "$WORK"
  chmod 644 rows.txt
  "$VOLMEK" restore BENCH > /dev/null  # the first load, not timed
}

volmek_times() {
  local restore_cpu backup_cpu
  restore_time=$(best_of : '"$VOLMEK" restore BENCH > /dev/null')
  peak_kib "$VOLMEK" restore BENCH > "$WORK/kib"
  restore_peak=$(cat "$WORK/kib") restore_cpu=$LAST_CPU
  backup_time=$(best_of : '"$VOLMEK" backup BENCH > /dev/null')
  peak_kib "$VOLMEK" backup BENCH > "$WORK/kib"
  backup_peak=$(cat "$WORK/kib") backup_cpu=$LAST_CPU
  cmp -s BENCH.txt rows.txt || { echo "backup no reproduce el fichero cargado" >&2; exit 1; }
  logon_time=$(per_run '"$VOLMEK" sql "select 1 from dual" > /dev/null')
  logon_peak=$(peak_kib "$VOLMEK" sql "select 1 from dual")
  echo "volmek   restore ${restore_time}s ($(mib "$restore_peak"), cpu ${restore_cpu}s)   backup ${backup_time}s ($(mib "$backup_peak"), cpu ${backup_cpu}s)   logon ${logon_time}s ($(mib "$logon_peak"))"
}

sqlite_times() {
  sqlite3 plain.db "create table bench (id integer, importe numeric, nombre text, codigo text, fecha text);
    insert into bench with recursive c(i) as (select 1 union all select i + 1 from c where i < $ROWS)
    select i, (i % 100000) + (i % 100) / 100.0, 'Cliente numero ' || i, printf('C%07d', i % 10000000),
           printf('2026-%02d-%02d %02d:%02d:%02d', i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60) from c;"
  sqlite_dump=$(best_of : 'sqlite3 plain.db ".mode insert bench" "select * from bench;" > dump.sql')
  local new_load_db='rm -f load.db; sqlite3 load.db "create table bench (id integer, importe numeric, nombre text, codigo text, fecha text);"'
  sqlite_load=$(best_of "$new_load_db" '{ echo "begin;"; cat dump.sql; echo "commit;"; } | sqlite3 load.db')
  sqlite_start=$(per_run 'sqlite3 plain.db "select 1;" > /dev/null')
  rm -f load.db dump.sql
  echo "sqlite3  carga en una transaccion ${sqlite_load}s   .mode insert ${sqlite_dump}s   arranque ${sqlite_start}s"
  RATIOS+=("restore / sqlite3 carga: $(ratio "$restore_time" "$sqlite_load")")
  RATIOS+=("backup / sqlite3 .mode insert: $(ratio "$backup_time" "$sqlite_dump")")
}

postgres_start() {
  if [ ! -x "$PG_BIN/initdb" ]; then
    echo "(sin PostgreSQL: falta $PG_BIN/initdb; make bench instala el paquete postgresql)"
    return 1
  fi
  mkdir -p "$PG_SOCKET"
  if [ "$(id -u)" -eq 0 ]; then
    PG_USER_OS=nobody
    chown "$PG_USER_OS" "$PG_SOCKET"
  fi
  pg_as "$PG_BIN/initdb" -D "$PG_DATA" -U bench --auth=trust --no-instructions > /dev/null
  # A Unix socket in the work directory, no TCP; durability at its defaults.
  pg_as "$PG_BIN/pg_ctl" -D "$PG_DATA" -w -l "$PG_SOCKET/log" \
    -o "-c listen_addresses='' -c unix_socket_directories='$PG_SOCKET'" start > /dev/null
  psql_run -c "create table bench (id integer, importe numeric(12,2), nombre varchar(40),
                                   codigo char(8), fecha timestamp(0))"
}

postgres_times() {
  if ! postgres_start; then return 0; fi
  local csv="format csv, quote ''''"
  psql_run -c "copy bench from '$WORK/rows.txt' with ($csv)"  # the first load, not timed
  copy_from=$(best_of : 'psql_run -c "truncate bench; copy bench from '"'$WORK/rows.txt'"' with ($csv)"')
  local out="$PG_SOCKET/copy.txt"
  copy_to=$(best_of : 'psql_run -c "copy bench to '"'$out'"' with ($csv, force_quote (nombre, codigo, fecha))"')
  cmp -s "$out" rows.txt || echo "(aviso: COPY TO no escribe el mismo texto que backup)"
  echo "postgres COPY FROM ${copy_from}s   COPY TO ${copy_to}s"
  RATIOS+=("restore / COPY FROM: $(ratio "$restore_time" "$copy_from")")
  RATIOS+=("backup / COPY TO: $(ratio "$backup_time" "$copy_to")")
}

# restore into a table of the same columns with a primary key on id, of the same rows (their
# keys ascending, as a backup of a table filled in key order writes them), divided by restore
# into the table without a key: what keeping the index costs a load.
keyed_times() {
  "$VOLMEK" sql "create table benchpk (id number(10) primary key, importe number(12,2), nombre varchar2(40), codigo char(8), fecha date)" > /dev/null
  cp BENCH.txt BENCHPK.txt
  "$VOLMEK" restore BENCHPK > /dev/null  # the first load, not timed
  local keyed_time keyed_peak keyed_cpu
  keyed_time=$(best_of : '"$VOLMEK" restore BENCHPK > /dev/null')
  peak_kib "$VOLMEK" restore BENCHPK > "$WORK/kib"
  keyed_peak=$(cat "$WORK/kib") keyed_cpu=$LAST_CPU
  "$VOLMEK" sql "drop table benchpk" > /dev/null
  rm -f BENCHPK.txt
  echo "volmek   restore con clave primaria ${keyed_time}s ($(mib "$keyed_peak"), cpu ${keyed_cpu}s)"
  RATIOS+=("restore con clave primaria / restore sin clave: $(ratio "$keyed_time" "$restore_time")")
}

logon_ratio() {
  RATIOS+=("logon / arranque de sqlite3: $(ratio "$logon_time" "$sqlite_start") (logon ${logon_time}s, $(mib "$logon_peak"))")
}

main() {
  if [ "${BENCH_ONLY:-}" = plsql ]; then
    echo "antes: $(load)"
    plsql_times
    echo "(la mejor de $REPEAT ejecuciones de cada una; despues: $(load))"
    printf '%s\n' "${RATIOS[@]}"
    return
  fi
  micro_benchmarks
  echo "antes: $(load)"
  make_rows
  volmek_times
  keyed_times
  sqlite_times
  postgres_times
  logon_ratio
  plsql_times
  echo "(la mejor de $REPEAT ejecuciones de cada una; despues: $(load))"
  printf '%s\n' "${RATIOS[@]}"
}

# PL/SQL against restore on PLSQL_ROWS rows (100,000 by default) of the same five columns, with
# a primary key on id: a block that inserts them in a numeric FOR loop, and one that updates
# each of them through a cursor FOR loop, each divided by restore loading the same rows.
plsql_times() {
  local rows=${PLSQL_ROWS:-100000}
  echo "== PL/SQL: $rows filas"
  "$VOLMEK" sql "create table benchpl (id number(10) primary key, importe number(12,2), nombre varchar2(40), codigo char(8), fecha date)" > /dev/null
  awk -v n="$rows" 'BEGIN {
    for (i = 1; i <= n; i++)
      printf "%d,%d.%02d,'"'"'Cliente numero %d'"'"','"'"'C%07d'"'"','"'"'2026-%02d-%02d %02d:%02d:%02d'"'"'\n",
             i, i % 100000, i % 100, i, i % 10000000, i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60
  }' > BENCHPL.txt
  local empty='"$VOLMEK" sql "truncate table benchpl" > /dev/null'
  local restore_pl insert_pl update_pl
  restore_pl=$(best_of "$empty" '"$VOLMEK" restore BENCHPL > /dev/null')
  # The block inserts the very rows of BENCHPL.txt: backup must give the file back.
  local insert_block="begin
  for i in 1 .. $rows loop
    insert into benchpl values (i, mod(i, 100000) + mod(i, 100) * 0.01, 'Cliente numero ' || i,
      'C' || lpad(mod(i, 10000000), 7, '0'),
      to_date('2026-' || (mod(i, 12) + 1) || '-' || (mod(i, 28) + 1) || ' ' || mod(i, 24) || ':'
              || mod(i, 60) || ':' || mod(i * 7, 60), 'YYYY-MM-DD HH24:MI:SS'));
  end loop;
  commit;
end;"
  # Through fsql: `volmek sql` upper-cases its statement, string literals included.
  printf '%s\n;\n' "$insert_block" > plsql_insert.sql
  insert_pl=$(best_of "$empty" '"$VOLMEK" fsql plsql_insert.sql > /dev/null')
  cp BENCHPL.txt BENCHPL.rows
  "$VOLMEK" backup BENCHPL > /dev/null
  cmp -s BENCHPL.txt BENCHPL.rows || { echo "el bloque PL/SQL no inserto las filas de BENCHPL.txt" >&2; exit 1; }
  local update_block="begin
  for r in (select id, importe from benchpl) loop
    update benchpl set importe = r.importe + 1 where id = r.id;
  end loop;
  commit;
end;"
  printf '%s\n;\n' "$update_block" > plsql_update.sql
  update_pl=$(best_of : '"$VOLMEK" fsql plsql_update.sql > /dev/null')
  # Read whole before grep looks at it: grep -q stops at its match, and volmek writing after
  # that would fail the pipeline (pipefail) on a broken pipe.
  local counted
  counted=$("$VOLMEK" sql "select count(*) from benchpl where importe = mod(id, 100000) + mod(id, 100) * 0.01 + $REPEAT")
  grep -q "^ *$rows *$" <<< "$counted" || { echo "el bloque PL/SQL no actualizo las $rows filas" >&2; exit 1; }
  echo "volmek   restore ${restore_pl}s   bloque FOR con insert ${insert_pl}s   bloque FOR de cursor con update ${update_pl}s"
  RATIOS+=("PL/SQL FOR insert / restore ($rows filas): $(ratio "$insert_pl" "$restore_pl")")
  RATIOS+=("PL/SQL FOR de cursor update / restore ($rows filas): $(ratio "$update_pl" "$restore_pl")")
}

main
