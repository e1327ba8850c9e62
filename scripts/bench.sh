#!/usr/bin/env bash
# Times backup and restore of a 1,000,000-row table of five columns on the embedded database,
# beside the sqlite3 shell doing the same work on a plain SQLite table of the same rows:
#   backup  vs  sqlite3 ".mode insert" dump of the rows
#   restore vs  sqlite3 loading that dump in one transaction
# and prints the two ratios (lower is faster; 1.0 means as fast as the shell) as its last lines.
# Each timing is the best of BENCH_REPEAT runs (3 by default); the line before the ratios gives
# them again without the fixed start-up part of each side (volmek's logon, sqlite3's start).
set -euo pipefail
BUILD=${1:-build-release}
ROWS=${BENCH_ROWS:-1000000}
VOLMEK="$(cd "$BUILD" && pwd)/volmek"
WORK=$(mktemp -d /tmp/volmek-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
export NOMBREBD=BENCH PASSWD=bench TNS="file:$WORK/bench.db"
unset BACKUP TEST

REPEAT=${BENCH_REPEAT:-3}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
# best_of SETUP COMMAND: runs SETUP (untimed) then times COMMAND, REPEAT times; prints the
# shortest wall time. The machine is shared, so the best run is the one least disturbed.
best_of() {
  local setup=$1 command=$2 best="" start end took
  for _ in $(seq "$REPEAT"); do
    eval "$setup"
    start=$(now); eval "$command"; end=$(now)
    took=$(elapsed "$start" "$end")
    if [ -z "$best" ] || awk -v a="$took" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$took; fi
  done
  echo "$best"
}

if [ -x "$BUILD/bench/table_text_bench" ]; then
  "$BUILD/bench/table_text_bench" --benchmark_min_time=0.2 || true
fi

echo "== $ROWS filas: id number(10), importe number(12,2), nombre varchar2(40), codigo char(8), fecha date"
"$VOLMEK" sql "create table bench (id number(10), importe number(12,2), nombre varchar2(40), codigo char(8), fecha date)" > /dev/null
awk -v n="$ROWS" 'BEGIN {
  for (i = 1; i <= n; i++)
    printf "%d,%d.%02d,'"'"'Cliente numero %d'"'"','"'"'C%07d'"'"','"'"'2026-%02d-%02d %02d:%02d:%02d'"'"'\n",
           i, i % 100000, i % 100, i, i % 10000000, i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60
}' > BENCH.txt
"$VOLMEK" restore BENCH > /dev/null   # the first load, not timed

backup_time=$(best_of : '"$VOLMEK" backup BENCH > /dev/null')
restore_time=$(best_of : '"$VOLMEK" restore BENCH > /dev/null')

# The same rows in a plain SQLite table, then the shell's dump and load.
sqlite3 plain.db "create table bench (id integer, importe numeric, nombre text, codigo text, fecha text);
  insert into bench with recursive c(i) as (select 1 union all select i + 1 from c where i < $ROWS)
  select i, (i % 100000) + (i % 100) / 100.0, 'Cliente numero ' || i, printf('C%07d', i % 10000000),
         printf('2026-%02d-%02d %02d:%02d:%02d', i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60) from c;"
dump_time=$(best_of : 'sqlite3 plain.db ".mode insert bench" "select * from bench;" > dump.sql')
new_load_db='rm -f load.db; sqlite3 load.db "create table bench (id integer, importe numeric, nombre text, codigo text, fecha text);"'
load_time=$(best_of "$new_load_db" '{ echo "begin;"; cat dump.sql; echo "commit;"; } | sqlite3 load.db')

# The fixed part of every run: logon (the password hash is deliberately slow) and start-up.
logon_time=$(best_of : '"$VOLMEK" sql "select 1 from dual" > /dev/null')
shell_time=$(best_of : 'sqlite3 plain.db "select 1;" > /dev/null')

echo "(la mejor de $REPEAT ejecuciones de cada una)"
echo "arranque y logon ${logon_time}s   arranque de sqlite3 ${shell_time}s"
echo "backup  ${backup_time}s   sqlite3 .mode insert ${dump_time}s"
echo "restore ${restore_time}s   sqlite3 carga en una transaccion ${load_time}s"
awk -v a="$backup_time" -v b="$dump_time" -v f="$logon_time" -v g="$shell_time" \
  'BEGIN { printf "sin el arranque: backup / sqlite3 dump %.2f", (a - f) / (b - g) }'
awk -v a="$restore_time" -v b="$load_time" -v f="$logon_time" -v g="$shell_time" \
  'BEGIN { printf ", restore / sqlite3 load %.2f\n", (a - f) / (b - g) }'
awk -v a="$backup_time" -v b="$dump_time" 'BEGIN { printf "backup / sqlite3 dump: %.2f\n", a / b }'
awk -v a="$restore_time" -v b="$load_time" 'BEGIN { printf "restore / sqlite3 load: %.2f\n", a / b }'
