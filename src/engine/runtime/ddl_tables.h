// The table DDL: CREATE TABLE (also ... AS SELECT), DROP TABLE, ALTER TABLE, indexes on
// tables, RENAME, ANALYZE; and the helpers the other DDL statements share with them.
//
// ALTER TABLE rebuilds the SQLite table (new table, rows copied through vk_store, old table
// dropped, new one renamed, indexes made again), which is how SQLite changes a column; the
// catalogue rows change in the same transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"
#include "engine/translate/translate.h"

namespace volmek::engine {

class EngineConnection;
class DdlParser;

struct IndexSpec {
  std::string name;  // empty: a system name (SYS_Cnnnnnn)
  bool unique = false;
  std::string constraint_type;  // "P", "U" or ""
  std::vector<std::string> columns;
  std::vector<bool> descending;
  PhysicalAttributes attributes;
};

// CREATE TABLE after the word TABLE. Returns the function type.
OraResult<std::uint16_t> CreateTable(EngineConnection& connection, DdlParser& parser);
// DROP TABLE after the word TABLE.
OraResult<std::uint16_t> DropTable(EngineConnection& connection, DdlParser& parser);
// ALTER TABLE after the word TABLE.
OraResult<std::uint16_t> AlterTable(EngineConnection& connection, DdlParser& parser);

// Creates an index of `table` (inside a DDL body): ORA-00955 for a used name, ORA-00904 for an
// unknown column, ORA-01408 for a column list already indexed, ORA-01452 for a unique index
// over duplicate keys.
OraStatus AddIndex(EngineConnection& connection, const ObjectRef& table, const IndexSpec& spec);
OraResult<std::optional<IndexInfo>> FindIndex(EngineConnection& connection, std::int64_t index_id);
// Drops the SQLite object behind a table or view (the catalogue rows stay).
OraStatus DropObjectStorage(EngineConnection& connection, const ObjectRef& object);
// RENAME from TO to (tables, views, sequences of the user).
OraStatus RenameObject(EngineConnection& connection, std::string_view from, std::string_view to);

OraStatus AnalyzeTable(EngineConnection& connection, const ObjectRef& table, bool delete_only);
OraStatus AnalyzeIndex(EngineConnection& connection, std::int64_t index_id, bool delete_only);

// True when `name` can be a column name as it stands (an expression's text cannot).
bool IsValidColumnName(std::string_view name);

// The columns of a table or view made from a query: named by `names` or, when it is empty, by
// the select list (ORA-00998 for an expression without an alias), typed and nullable as the
// query describes them. ORA-00928 when `translation` is not a query, ORA-01730 for a count of
// names that differs from the select list, ORA-00957 for a name given twice, and with
// `refuse_zero_length` ORA-01723 for a text column of no length.
OraResult<std::vector<CatalogColumn>> ColumnsOfQuery(const Translation& translation,
                                                     const std::vector<std::string>& names,
                                                     bool refuse_zero_length);

}  // namespace volmek::engine
