#!/usr/bin/env bash
# Installs the T-SQL parser the migration tests validate genera.sql with (npm, once).
set -uo pipefail
cd "$(dirname "$0")/../tests/js" || exit 0
[ -d node_modules/node-sql-parser ] && exit 0
command -v npm >/dev/null 2>&1 || { echo "npm no disponible: se omite la validacion T-SQL"; exit 0; }
npm install --no-audit --no-fund --silent >/dev/null 2>&1 || echo "npm install fallo: se omite la validacion T-SQL"
exit 0
