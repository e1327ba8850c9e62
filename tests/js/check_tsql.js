#!/usr/bin/env node
// Checks that a file of SQL Server DDL parses as T-SQL.
//
//   node check_tsql.js FILE    exit 0: it parses; 1: it does not (the parser's message on
//                              stderr); 2: the parser is not installed
//
// The parser's T-SQL grammar lacks the DEC synonym of DECIMAL, which SQL Server accepts; the
// type is spelled out before parsing so that only real syntax slips fail.
'use strict';
const fs = require('fs');
const path = require('path');

let Parser;
try {
  ({ Parser } = require(path.join(__dirname, 'node_modules', 'node-sql-parser')));
} catch (e) {
  process.stderr.write('node-sql-parser no instalado (scripts/install-node-deps.sh)\n');
  process.exit(2);
}

if (process.argv.length !== 3) {
  process.stderr.write('uso: node check_tsql.js FICHERO\n');
  process.exit(2);
}
const text = fs.readFileSync(process.argv[2], 'utf8').replace(/\bdec(\s*\()/gi, 'decimal$1');
if (text.trim() === '') process.exit(0);
try {
  new Parser().astify(text, { database: 'transactsql' });
} catch (e) {
  const where = e.location ? ` (linea ${e.location.start.line}, columna ${e.location.start.column})` : '';
  process.stderr.write(`${e.message}${where}\n`);
  process.exit(1);
}
