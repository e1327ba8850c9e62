// Helpers of the table-maintenance end-to-end tests: a database prepared by the test itself
// (with the record dictionary of sql/xtables.sql), scripts run with fsql, and query results read
// back through `volmek sql`.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "testing/harness.h"

namespace volmek::testing::maint {

// Runs `statements` (";" lines between them, as fsql reads them) and expects no Oracle error.
inline ProgramResult Script(const TempDir& dir, const std::string& statements,
                            const std::map<std::string, std::string>& extra = {}) {
  dir.Write("PASO.sql", statements);
  ProgramResult result = Volmek(dir, {"fsql", "PASO.sql"}, extra);
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out.find("Error de Oracle"), std::string::npos) << result.out;
  return result;
}

// Creates the database and the six x-tables.
inline void PrepareDictionary(const TempDir& dir) {
  std::string xtables = ReadFile(SourcePath("sql/xtables.sql"));
  ASSERT_FALSE(xtables.empty());
  Script(dir, xtables);
}

// The rows of `query` as `volmek sql` prints them, one trimmed line per row, the blanks between
// columns reduced to one. Values must not be NULL (a NULL prints as blanks).
inline std::vector<std::string> Rows(const TempDir& dir, const std::string& query) {
  ProgramResult result = Volmek(dir, {"sql", query});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out.find("Error de Oracle"), std::string::npos) << query << "\n" << result.out;
  std::vector<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  // empty, names, underline, empty, rows..., empty, count
  std::vector<std::string> rows;
  std::size_t first = 0;
  while (first < lines.size() && !lines[first].starts_with("-")) ++first;
  for (std::size_t line_idx = first + 2; line_idx + 2 < lines.size(); ++line_idx) {
    std::istringstream words(lines[line_idx]);
    std::string row;
    for (std::string word; words >> word;) row += (row.empty() ? "" : " ") + word;
    rows.push_back(row);
  }
  return rows;
}

inline std::vector<std::string> Lines(std::initializer_list<std::string> lines) { return lines; }

// True when the user has an object named `name` (upper case).
inline bool ObjectExists(const TempDir& dir, const std::string& name) {
  return Rows(dir, "select object_name from user_objects where object_name = '" + name + "'")
             .size() == 1;
}

// The dictionary rows of `key` in xcampo, xclave and xdivide, for comparisons.
inline std::vector<std::string> DictionaryOf(const TempDir& dir, const std::string& key) {
  std::vector<std::string> all;
  for (const std::string& query :
       {"select 'CAMPO', orden, nombre, tipo, longitud, decimales from xcampo where indice = '" +
            key + "' order by orden",
        "select 'CLAVE', posicion, campo, sentido from xclave where indice = '" + key +
            "' order by posicion",
        "select 'DIVIDE', orden, texto, campo from xdivide where indice = '" + key +
            "' order by campo"}) {
    for (const std::string& row : Rows(dir, query)) all.push_back(row);
  }
  return all;
}

}  // namespace volmek::testing::maint
