// The Oracle SQL functions and operators, registered into SQLite.
//
// RegisterFunctions puts on a SQLite connection everything the translated SQL calls (see the
// translator): the operators vk_add, vk_sub, vk_mul, vk_div, vk_neg, vk_concat, vk_date_add,
// vk_date_sub, vk_date_diff; vk_cmp(a, b) (-1, 0, 1 by numeric value, NULL for NULL: for
// comparing computed numbers, which may travel as TEXT that SQLite would order after every
// INTEGER and REAL); vk_numtext(x) (the canonical TEXT of a number: with COLLATE VKNUM it sorts
// a computed number column exactly); vk_store (the coercion on write, coerce.h); vk_sysdate;
// vk_trim; and the Oracle functions under their lower-case Oracle names: nvl, nvl2, coalesce,
// decode, substr, instr, upper, lower, initcap, trim, ltrim, rtrim, lpad, rpad, length, replace,
// translate, concat, chr, ascii, to_char, to_date, to_number, round, trunc, mod, abs, sign, ceil,
// floor, power, sqrt, exp, ln, log, vsize, greatest, least, add_months, months_between,
// last_day, next_day, substrb, lengthb, regexp_like, regexp_substr, regexp_instr,
// regexp_replace, regexp_count, and the aggregates sum and avg (exact decimal, also as window
// functions over frames that start at the partition's first row), vk_wsum and vk_wavg (the same
// over frames whose start moves) and vk_listagg (LISTAGG). A wrong count of arguments raises
// ORA-00909. SQLite's own substr, length, trim family, round, replace, coalesce, sum and avg are
// overridden; count, min and max stay SQLite's. It also registers the VKNUM collation
// (collation.h).
//
// Values follow schema.h: '' is NULL and a function whose result would be empty returns NULL;
// numbers come out as INTEGER when integral within 64 bits, REAL when the double names the
// decimal exactly, canonical TEXT otherwise; dates as the stored text "YYYY-MM-DD HH24:MI:SS".
// Errors are raised as SQLite errors whose text is the whole Oracle message
// ("ORA-01476: divisor is equal to zero").
#pragma once

#include "base/status.h"
#include "engine/values/session_settings.h"

struct sqlite3;

namespace volmek::engine {

// Registers every function and the VKNUM collation on `db`.
// REQUIRES: `settings` outlives the connection (or its functions are never called afterwards).
Status RegisterFunctions(sqlite3* db, const SessionSettings* settings);

}  // namespace volmek::engine
