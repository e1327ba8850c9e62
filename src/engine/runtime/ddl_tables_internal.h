// What CREATE TABLE (ddl_tables.cc) and ALTER TABLE (ddl_alter.cc) share.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/runtime/ddl_tables.h"
#include "engine/syntax/ddl_parser.h"

namespace volmek::engine::ddl_tables_internal {

inline constexpr std::uint16_t kCreateTable = 1;
inline constexpr std::uint16_t kDropTable = 8;
inline constexpr std::uint16_t kAlterTable = 26;

// The helpers of CREATE TABLE that ALTER TABLE uses too (defined in ddl_tables.cc).
OraError TableDoesNotExist();
OraError InvalidTableName();
OraError ColumnNameError();
OraStatus CheckTablespace(EngineConnection& connection, const PhysicalAttributes& attributes);
bool HasColumn(const std::vector<CatalogColumn>& columns, std::string_view name);
CatalogColumn* FindColumn(std::vector<CatalogColumn>& columns, std::string_view name);
OraResult<std::optional<std::string>> DefaultExpression(EngineConnection& connection,
                                                        const CatalogColumn& column,
                                                        std::string_view table);
// Copies `table` into a new physical table of `columns`, each filled from `sources` (an SQL
// expression over the old columns, or nullopt for NULL), and rebuilds `indexes` on it.
OraStatus RebuildTable(EngineConnection& connection, const ObjectRef& table,
                       const std::vector<CatalogColumn>& columns,
                       const std::vector<std::optional<std::string>>& sources,
                       const std::vector<IndexInfo>& indexes, const OraError& not_null_error);
bool StartsKey(const DdlParser& parser);
OraResult<KeyConstraint> ParseTableKey(DdlParser& parser);
void CollectColumnKeys(const std::vector<ColumnDefinition>& columns,
                       std::vector<KeyConstraint>* keys);
OraStatus AddKeys(EngineConnection& connection, const ObjectRef& table,
                  const std::vector<KeyConstraint>& keys);
OraStatus CheckKeys(const std::vector<CatalogColumn>& columns,
                    const std::vector<KeyConstraint>& keys, bool has_primary);
CatalogColumn ToCatalogColumn(const ColumnDefinition& definition);
// The count the query `sql` (SELECT count(*) ...) gives.
OraResult<std::int64_t> CountRows(sqlite3* db, const std::string& sql);

}  // namespace volmek::engine::ddl_tables_internal
