// A differential check of the engine: queries generated from a fixed seed run on the engine and
// on plain SQLite over the same rows, and must give the same rows. The grammar keeps to what
// both define alike: integers, texts without trailing blanks and never empty (Oracle reads ''
// as NULL), NULLs, + - * (no division: SQLite's integer division truncates), comparisons,
// AND/OR/NOT, [NOT] BETWEEN, [NOT] IN lists, IS [NOT] NULL, CASE, COALESCE, NULLIF, ABS, UPPER,
// LOWER, LENGTH, SUBSTR from the first character, REPLACE, scalar subqueries of one row, EXISTS,
// IN (subquery), GROUP BY with COUNT/SUM/MIN/MAX, HAVING, DISTINCT, inner and left joins,
// UNION/UNION ALL/INTERSECT, and analytic functions over windows whose ORDER BY says where
// NULLs go (the one default the two do not share) and, for the functions that read the
// rows in order, puts no two rows level. Rows are compared as sorted lists, since neither side
// promises an order without ORDER BY. A query the engine refuses with an ORA- error counts as a
// mismatch too: every construct here is one it claims to support.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "db/call.h"
#include "engine/engine.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

constexpr std::uint32_t kSeed = 20261209;
constexpr int kQueries = 1000;

const char* const kSetup[] = {
    "create table ta (id number(4), n number(6), m number(6), s varchar2(10))",
    "create table tb (id number(4), ta_id number(4), k number(6), t varchar2(10))",
};

// The rows, written once for both databases.
std::vector<std::string> Inserts() {
  std::mt19937 random(kSeed);
  const char* const texts[] = {"'a'", "'b'", "'AB'", "'abc'", "'Zz'", "'x y'", "NULL"};
  auto number = [&]() -> std::string {
    int pick = static_cast<int>(random() % 10);
    if (pick == 0) return "NULL";
    return std::to_string(static_cast<int>(random() % 21) - 10);
  };
  std::vector<std::string> inserts;
  for (int id = 1; id <= 12; ++id) {
    inserts.push_back("insert into ta values (" + std::to_string(id) + ", " + number() + ", " +
                      number() + ", " + texts[random() % 7] + ")");
  }
  for (int id = 1; id <= 15; ++id) {
    inserts.push_back("insert into tb values (" + std::to_string(id) + ", " +
                      std::to_string(static_cast<int>(random() % 14)) + ", " + number() + ", " +
                      texts[random() % 7] + ")");
  }
  return inserts;
}

class QueryGenerator {
 public:
  explicit QueryGenerator(std::uint32_t seed) : random_(seed) {}

  std::string Query() {
    switch (Pick(7)) {
      case 0:
        return Grouped();
      case 5:
        return Windowed();
      case 1:
        return "select " + Number(2, "ta") + ", " + Text(1, "ta") + " from ta where " +
               Condition(2, "ta") + " union" + (Pick(2) ? " all" : "") + " select " +
               Number(2, "tb") + ", " + Text(1, "tb") + " from tb where " + Condition(2, "tb");
      case 2:
        return "select " + std::string(Pick(3) == 0 ? "distinct " : "") + Number(2, "ta") +
               " from ta intersect select " + Number(1, "tb") + " from tb";
      case 3:
        return "select ta.id, tb.id, " + Number(2, "ta") + ", " + Number(2, "tb") + " from ta " +
               (Pick(2) ? "left join" : "join") + " tb on tb.ta_id = ta.id and " +
               Condition(1, "tb") + " where " + Condition(2, "ta");
      default:
        return "select id, " + Number(3, "ta") + ", " + Text(2, "ta") + ", " + Condition(2, "ta") +
               " from ta where " + Condition(3, "ta");
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }

  std::string Column(const std::string& table, bool numeric) {
    if (table == "ta") {
      return numeric ? (Pick(3) == 0 ? "ta.id" : (Pick(2) ? "ta.n" : "ta.m")) : "ta.s";
    }
    return numeric ? (Pick(3) == 0 ? "tb.ta_id" : "tb.k") : "tb.t";
  }

  std::string Number(int depth, const std::string& table) {
    int choice = depth <= 0 ? Pick(2) : Pick(11);
    switch (choice) {
      case 0:
        return Column(table, true);
      case 1:
        return std::to_string(Pick(15) - 5);
      case 2:
      case 3: {
        const char* const ops[] = {" + ", " - ", " * "};
        return "(" + Number(depth - 1, table) + ops[Pick(3)] + Number(depth - 1, table) + ")";
      }
      case 4:
        return "case when " + Condition(depth - 1, table) + " then " + Number(depth - 1, table) +
               (Pick(2) ? " else " + Number(depth - 1, table) : std::string()) + " end";
      case 5:
        return "coalesce(" + Number(depth - 1, table) + ", " + Number(depth - 1, table) + ")";
      case 6:
        return "abs(" + Number(depth - 1, table) + ")";
      case 7:
        return "length(" + Text(depth - 1, table) + ")";
      case 8:
        return "nullif(" + Number(depth - 1, table) + ", " + Number(depth - 1, table) + ")";
      case 9:
        return "(select max(tb.k) from tb where tb.ta_id = " + Column(table, true) + ")";
      default:
        return "-" + Column(table, true);
    }
  }

  std::string Text(int depth, const std::string& table) {
    int choice = depth <= 0 ? Pick(2) : Pick(7);
    const char* const literals[] = {"'a'", "'AB'", "'q'", "'x y'"};
    switch (choice) {
      case 0:
        return Column(table, false);
      case 1:
        return literals[Pick(4)];
      case 2:
        return std::string(Pick(2) ? "upper(" : "lower(") + Text(depth - 1, table) + ")";
      case 3:
        // From the first character: a later start can make the empty text, which is NULL
        // only on the engine's side.
        return "substr(" + Text(depth - 1, table) + ", 1" +
               (Pick(2) ? ", " + std::to_string(1 + Pick(3)) : std::string()) + ")";
      case 4:
        return "replace(" + Text(depth - 1, table) + ", 'a', 'b')";
      case 5:
        return "coalesce(" + Text(depth - 1, table) + ", " + literals[Pick(4)] + ")";
      default:
        return "case when " + Condition(depth - 1, table) + " then " + Text(depth - 1, table) +
               " else " + literals[Pick(4)] + " end";
    }
  }

  std::string Condition(int depth, const std::string& table) {
    const char* const compare[] = {" = ", " <> ", " < ", " <= ", " > ", " >= "};
    int choice = depth <= 0 ? Pick(2) : Pick(11);
    switch (choice) {
      case 0:
        return "(" + Number(depth - 1, table) + compare[Pick(6)] + Number(depth - 1, table) + ")";
      case 1:
        return "(" + Text(depth - 1, table) + compare[Pick(6)] + Text(depth - 1, table) + ")";
      case 2:
        return "(" + Condition(depth - 1, table) + (Pick(2) ? " and " : " or ") +
               Condition(depth - 1, table) + ")";
      case 3:
        return "(not " + Condition(depth - 1, table) + ")";
      case 4:
        return "(" + Number(depth - 1, table) + (Pick(2) ? " is null)" : " is not null)");
      case 5:
        return "(" + Number(depth - 1, table) + (Pick(2) ? " not" : "") + " between " +
               Number(0, table) + " and " + Number(0, table) + ")";
      case 6:
        return "(" + Number(depth - 1, table) + (Pick(2) ? " not" : "") + " in (" +
               Number(0, table) + ", " + Number(0, table) + ", " + std::to_string(Pick(5)) + "))";
      case 7:
        return "(" + Text(depth - 1, table) + (Pick(2) ? " not" : "") + " in ('a', 'AB', " +
               Text(0, table) + "))";
      case 8:
        return std::string(Pick(2) ? "(not " : "(") +
               "exists (select 1 from tb x where x.ta_id = " + Column(table, true) + " and x.k > " +
               std::to_string(Pick(10) - 5) + "))";
      case 9:
        return "(" + Column(table, true) + (Pick(2) ? " not" : "") +
               " in (select x.ta_id from tb x where x.ta_id is not null and x.k < " +
               std::to_string(Pick(10) - 5) + "))";
      default:
        return "(" + Text(depth - 1, table) + " is not null)";
    }
  }

  std::string Grouped() {
    std::string key = Pick(2) ? "ta.s" : "ta.n";
    const char* const aggregates[] = {
        "count(*)",  "count(ta.m)", "sum(ta.m)",           "min(ta.m)",
        "max(ta.n)", "max(ta.s)",   "count(distinct ta.m)"};
    std::string sql = "select " + key + ", " + aggregates[Pick(7)] + ", " + aggregates[Pick(7)] +
                      " from ta where " + Condition(2, "ta") + " group by " + key;
    if (Pick(2)) sql += " having count(*) > " + std::to_string(Pick(3));
    return sql;
  }

  std::string Windowed() {
    const char* const partitions[] = {"", "partition by ta.s ", "partition by ta.n ",
                                      "partition by ta.n - ta.m "};
    // Orders that leave no two rows level, and orders with ties (peers).
    const char* const unique[] = {"order by ta.id", "order by ta.n nulls first, ta.id",
                                  "order by ta.m desc nulls last, ta.id",
                                  "order by ta.s nulls last, ta.id desc"};
    const char* const tied[] = {"order by ta.n nulls last", "order by ta.s desc nulls first",
                                "order by ta.m nulls first"};
    const char* const frames[] = {" rows between 1 preceding and current row",
                                  " rows between unbounded preceding and 2 following",
                                  " rows between current row and unbounded following",
                                  " rows 2 preceding",
                                  " rows between 2 preceding and 1 following",
                                  " range between unbounded preceding and current row",
                                  " range between current row and unbounded following"};
    const char* const ordered[] = {"row_number()",    "lag(ta.m)", "lead(ta.n, 2)",
                                   "lag(ta.m, 1, 0)", "ntile(3)",  "lead(ta.s, 1, 'z')"};
    const char* const ranking[] = {"rank()", "dense_rank()"};
    const char* const aggregates[] = {"sum(ta.m)", "count(ta.m)", "count(*)",
                                      "min(ta.n)", "max(ta.s)",   "sum(ta.n * 2 - ta.m)"};
    const char* const values[] = {"first_value(ta.m)", "last_value(ta.s)"};
    auto window = [&]() -> std::string {
      std::string partition = partitions[Pick(4)];
      switch (Pick(6)) {
        case 5: {
          // A RANGE offset measures the one ORDER BY key.
          const char* const keys[] = {"order by ta.id", "order by ta.n nulls last",
                                      "order by ta.m desc nulls first"};
          return std::string(aggregates[Pick(6)]) + " over (" + partition + keys[Pick(3)] +
                 " range between " + std::to_string(Pick(4)) + " preceding and " +
                 std::to_string(Pick(3)) + " following)";
        }
        case 0:
          return std::string(ordered[Pick(6)]) + " over (" + partition + unique[Pick(4)] + ")";
        case 1:
          return std::string(ranking[Pick(2)]) + " over (" + partition + tied[Pick(3)] + ")";
        case 2:
          return std::string(aggregates[Pick(6)]) + " over (" + partition + tied[Pick(3)] + ")";
        case 3:
          return std::string(aggregates[Pick(6)]) + " over (" + partition +
                 (Pick(3) ? std::string(unique[Pick(4)]) + frames[Pick(7)] : std::string()) + ")";
        default:
          return std::string(values[Pick(2)]) + " over (" + partition + unique[Pick(4)] +
                 frames[Pick(5)] + ")";
      }
    };
    return "select ta.id, " + window() + ", " + window() + " from ta where " + Condition(1, "ta");
  }

  std::mt19937 random_;
};

std::vector<std::string> SqliteRows(sqlite3* db, const std::string& sql, std::string* error) {
  std::vector<std::string> rows;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return rows;
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < sqlite3_column_count(stmt.get()); ++column) {
      if (column > 0) row += "\t";
      // Oracle reads the empty text as NULL.
      if (sqlite3_column_type(stmt.get(), column) == SQLITE_NULL ||
          sqlite3_column_bytes(stmt.get(), column) == 0) {
        row += "NULL";
      } else {
        row += reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), column));
      }
    }
    rows.push_back(row);
  }
  if (rc != SQLITE_DONE) *error = sqlite3_errmsg(db);
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<std::string> EngineRows(db::Cursor& cursor, const std::string& sql,
                                    std::string* error) {
  std::vector<std::string> rows;
  int rc = cursor.Parse(sql);
  int columns = 0;
  if (rc == 0) {
    db::ColumnDescription description;
    while (cursor.Describe(columns + 1, &description) == 0) {
      cursor.Define(++columns, db::ExternalType::kString);
    }
    rc = cursor.Execute();
  }
  while (rc == 0) {
    rc = cursor.Fetch();
    if (rc != 0 && rc != db::kRcNullValue) break;
    rc = 0;
    std::string row;
    for (int position = 1; position <= columns; ++position) {
      if (position > 1) row += "\t";
      const db::FetchedValue& value = cursor.Value(position);
      row += value.is_null ? "NULL" : value.text;
    }
    rows.push_back(row);
  }
  if (rc != db::kRcNoData) *error = cursor.ErrorText();
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST(Differential, GeneratedQueriesAnswerAsSqliteDoes) {
  testing::TempDir dir;
  db::LogonResult logon = engine::Logon(dir.File("diff.db"), "VOLMEK", "secret");
  ASSERT_EQ(logon.rc, 0) << logon.error_text;
  int rc = 0;
  std::unique_ptr<db::Cursor> cursor = logon.connection->OpenCursor(&rc);
  ASSERT_EQ(rc, 0);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> reference(raw, sqlite3_close);
  std::vector<std::string> statements(std::begin(kSetup), std::end(kSetup));
  for (const std::string& insert : Inserts()) statements.push_back(insert);
  for (const std::string& sql : statements) {
    ASSERT_EQ(cursor->Parse(sql) == 0 ? cursor->Execute() : 1, 0) << sql << cursor->ErrorText();
    ASSERT_EQ(sqlite3_exec(reference.get(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sql;
  }
  QueryGenerator generator(kSeed);
  int mismatches = 0;
  for (int query_idx = 0; query_idx < kQueries && mismatches < 5; ++query_idx) {
    std::string sql = generator.Query();
    std::string expected_error;
    std::vector<std::string> expected = SqliteRows(reference.get(), sql, &expected_error);
    ASSERT_EQ(expected_error, "") << "the generator wrote a query SQLite refuses: " << sql;
    std::string error;
    std::vector<std::string> actual = EngineRows(*cursor, sql, &error);
    EXPECT_EQ(error, "") << sql;
    EXPECT_EQ(actual, expected) << sql;
    if (!error.empty() || actual != expected) ++mismatches;
  }
  logon.connection->LogOff();
}

}  // namespace
}  // namespace volmek::engine
