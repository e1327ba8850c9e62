// The SQL translator: turns one Oracle query or DML statement (SELECT, INSERT, UPDATE, DELETE)
// into SQLite SQL that follows the storage rules of schema.h, and tells what Describe reports
// for each select-list item.
//
// Names are resolved at translation through the SchemaLookup, so a missing table fails here
// with ORA-00942 and an unknown column with ORA-00904, as Oracle's parse does. Literals of the
// statement become SQLite parameters (?1, ?2 ... in `Translation::sql`) whose values travel in
// `Translation::parameters`: statements that differ only in their literals translate to the
// same SQLite text, so the caller can keep one prepared statement per text and just bind.
//
// The Translator also keeps a cache of statement shapes (the token sequence with the literals
// taken out). A statement whose shape was seen before is not parsed again: only its literals
// are scanned and converted, which is what makes a restore of a million
// "insert into T values (...)" lines cheap.
//
// The Oracle SQL understood:
//   SELECT [DISTINCT] items FROM tables [WHERE] [GROUP BY] [HAVING] [ORDER BY ... ASC|DESC
//     [NULLS FIRST|LAST]] [FOR UPDATE ...], with UNION [ALL], INTERSECT, MINUS, WITH tables,
//     comma joins, [NATURAL] [INNER|LEFT|RIGHT|FULL] [OUTER] JOIN ... ON | USING (...), CROSS
//     JOIN, Oracle's (+) outer joins, inline views, subqueries in WHERE and select lists, IN,
//     EXISTS, op ANY|SOME|ALL, BETWEEN, LIKE [ESCAPE], IS [NOT] NULL, CASE, DECODE and the
//     other functions of functions.h, ROWNUM, ROWID, DUAL, SYSDATE, USER, seq.NEXTVAL /
//     seq.CURRVAL, START WITH ... CONNECT BY [NOCYCLE] with PRIOR and LEVEL;
//   INSERT INTO t [(columns)] VALUES (...) | query; UPDATE t [alias] SET c = e, ... [WHERE];
//   DELETE [FROM] t [alias] [WHERE]; MERGE; INSERT ALL|FIRST (as several steps).
// Oracle's rules kept: '' is NULL; NULLs sort last ascending and first descending; ROWNUM is
// counted before ORDER BY ("where rownum <= n" keeps the first n rows found; ROWNUM in an
// UPDATE's SET numbers the rows updated, in VALUES it is 1); text compared with a DATE is read
// as a date; every value written passes vk_store with its column's type. ROWNUM elsewhere than
// select lists, simple WHERE bounds and SET gives ORA-03001 (unimplemented feature); so does
// a ROWNUM bound together with ORDER BY, GROUP BY or DISTINCT over a join.
//
// Usage, once per statement (ENGINE-CORE's cursor):
//   VK_ASSIGN_OR_ORA_RETURN(Translation t, translator.Translate(sql, schema));
//   stmt = PreparedFor(t.sql);                    // reuse when t.sql was prepared before
//   for (i = 0; i < t.parameters.size(); ++i) Bind(stmt, i + 1, t.parameters[i]);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/call.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine {

// The value of one SQLite parameter, as it is to be bound.
struct BindValue {
  enum class Kind { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;  // kInteger: sqlite3_bind_int64
  double real = 0;           // kReal: sqlite3_bind_double (the double holds the literal exactly)
  std::string text;          // kText: sqlite3_bind_text; string literals, and numbers that a
                             // double cannot hold exactly as canonical decimal text
};

// The result of translating one statement.
struct Translation {
  std::string sql;  // SQLite SQL, one statement, no trailing ";"
  std::uint16_t function_type =
      0;  // db::kFunctionSelect, ...Insert, ...Update, ...Delete, ...Merge
  std::vector<BindValue> parameters;  // the values of ?1 .. ?N, in order
  // Queries: what Describe reports for each select-list item, in order, and the Oracle type of
  // each (for create table ... as select and create view). Empty for DML.
  std::vector<db::ColumnDescription> columns;
  std::vector<SqlType> column_types;
  // DML: the table written (for error texts such as ORA-01400's "OWNER"."T"."C").
  std::string target_owner;
  std::string target_table;
  // A statement SQLite does in several steps (MERGE, INSERT ALL|FIRST): these statements run in
  // order as one, a failure in any undoing them all, and `sql` is empty. Each step binds the
  // parameters it uses; rows_processed is the sum of the rows changed by the steps that
  // `count`. A step may read tables an earlier step made, so it is prepared when it runs.
  struct Step {
    std::string sql;
    bool counts = false;
  };
  std::vector<Step> steps;
  bool from_cache = false;  // served from the shape cache: `sql` equals an earlier translation
  // The cached shape this translation is of (never reused for another); 0 for none.
  std::uint64_t shape = 0;
};

struct TranslateOptions {
  // Writes the literals into the SQL text instead of parameters (`parameters` stays empty), as
  // CREATE VIEW needs. Such translations bypass the shape cache.
  bool inline_literals = false;
};

// Translates statements for one connection (one user: USER and owners are written into the
// cached SQL); keeps the shape cache. Not thread-safe.
class Translator {
 public:
  // `max_shapes`: how many statement shapes the cache keeps (least recently used dropped).
  explicit Translator(std::size_t max_shapes = 64);
  ~Translator();
  Translator(Translator&&) noexcept;
  Translator& operator=(Translator&&) noexcept;

  // Translates one SELECT (also with UNION/MINUS/INTERSECT, or a parenthesised query), INSERT,
  // UPDATE or DELETE. On failure returns the Oracle parse error, as Oracle's texts have it:
  // 00900 (not one of these verbs), 00942, 00904 ("ORA-00904: "NOCOL": invalid identifier"),
  // 00918, 00923, 00933, 00936, 00907, 00917, 00913, 00947, 00911 (a ";" at the end), 01756,
  // 02289 (unknown sequence), 01732 (DML on a view), 00937/00979/00934 (grouping errors),
  // 01789/01790 (set operations), 00600 (a statement nested too deeply to translate safely).
  OraResult<Translation> Translate(std::string_view oracle_sql, const SchemaLookup& schema,
                                   const TranslateOptions& options = {});

  // The same, into `*translation`, which the caller keeps from statement to statement: when
  // `oracle_sql` has the shape `*translation` is of, only its parameters are refilled, their
  // storage reused, and the rest is left as it is. On failure `*translation` is unspecified.
  OraStatus TranslateInto(std::string_view oracle_sql, const SchemaLookup& schema,
                          Translation* translation);

  // The byte offsets of the literals of the text last given to TranslateInto, in statement
  // order: literal number i is slot i of RebindLiterals.
  std::vector<std::size_t> LiteralOffsets() const;

  // One literal of a statement written anew: a number (digits, without its sign) or a quoted
  // string ('it''s'), for the literal at `slot`.
  struct LiteralChange {
    int slot = 0;
    std::string_view text;
    bool is_string = false;
  };
  // Refills the parameters of `*translation` (of TranslateInto, of a shape still cached) for
  // the same statement with the literals of `changes` written anew, without reading the
  // statement again. False when that cannot be done (the shape was dropped, or a changed
  // literal is written into the SQL): the caller translates the whole statement.
  // `*changed` receives the indices of the parameters refilled.
  OraResult<bool> RebindLiterals(Translation* translation, std::span<const LiteralChange> changes,
                                 std::vector<std::size_t>* changed);

  // Drops every cached shape. Call after any DDL: tables and columns may resolve differently.
  void ForgetShapes();
  std::size_t cached_shapes() const;

 private:
  struct Cache;
  std::unique_ptr<Cache> cache_;
};

// Sets `*value` to what the number literal `text` (as written, without its sign; negated when
// `negate`) binds as in a translation: INTEGER for plain digits, REAL for short decimals, the
// value NumberLiteral gives otherwise (describe_infer.h). Reuses the storage of `value->text`.
OraStatus SetNumberParameter(std::string_view text, bool negate, BindValue* value);

// Translates without a cache (one-off statements, tests).
OraResult<Translation> Translate(std::string_view oracle_sql, const SchemaLookup& schema,
                                 const TranslateOptions& options = {});

}  // namespace volmek::engine
