// CHECK and FOREIGN KEY constraints.
//
// The catalogue keeps them in vk_constraints (one row each: owner, name, type C or R, table,
// the condition as written, the referenced table and constraint, the delete rule, ENABLED or
// DISABLED) and vk_cons_columns (the columns of a foreign key with the parent columns they
// reference). PRIMARY KEY and UNIQUE stay what they were: indexes (catalog.h).
//
// An enabled constraint is enforced by SQLite triggers named "vkc<rowid>_<what>", made from the
// catalogue row:
//   CHECK         after insert and update of the table: the row's condition, translated as a
//                 query would be, FALSE is ORA-02290 (TRUE and unknown pass, as in Oracle)
//   FOREIGN KEY   after insert and update of the child: a row whose key has no NULL and no
//                 parent row is ORA-02291; after delete of a parent row: children left are
//                 ORA-02292, or are deleted (ON DELETE CASCADE) or set to NULL (ON DELETE SET
//                 NULL); after an update of a parent key that children use: ORA-02292
// Rows are checked one by one, so a statement that removes a parent and its children together
// must remove the children first. A table rebuilt by ALTER TABLE gets its triggers back from
// RestoreConstraintTriggers.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/runtime/connection.h"
#include "engine/syntax/ddl_parser.h"

namespace volmek::engine {

// Creates the catalogue tables of constraints in a file made before they existed.
OraStatus EnsureConstraintTables(sqlite3* db);

// Adds `rule` to `table` (of the connection's user). Existing rows must satisfy an enabled
// constraint: ORA-02293 (check) / ORA-02298 (parent keys not found). ORA-02264 for a name
// already used, ORA-02270 for a parent column list that is no primary or unique key,
// ORA-02256/00904 for column lists that do not match.
OraStatus AddRuleConstraint(EngineConnection& connection, const ObjectRef& table,
                            const RuleConstraint& rule);

// ALTER TABLE ... DROP / ENABLE / DISABLE CONSTRAINT `name` of `table`: false when no CHECK or
// FOREIGN KEY constraint of the table has that name.
OraResult<bool> DropRuleConstraint(EngineConnection& connection, const ObjectRef& table,
                                   std::string_view name);
OraResult<bool> SetRuleConstraintEnabled(EngineConnection& connection, const ObjectRef& table,
                                         std::string_view name, bool enabled);

// Before `table` is dropped: ORA-02449 when foreign keys of other tables reference it, unless
// `cascade` (CASCADE CONSTRAINTS), which drops them. Removes the table's own constraints.
OraStatus DropTableConstraints(EngineConnection& connection, const ObjectRef& table, bool cascade);

// `error` when a CHECK or FOREIGN KEY constraint uses `column` of `table` (as a child or a
// parent column): such columns are not dropped or renamed.
OraStatus CheckColumnUnconstrained(EngineConnection& connection, const ObjectRef& table,
                                   std::string_view column, const OraError& error);

// Makes again the triggers of the enabled constraints on `table` and of those referencing it
// (after its SQLite table was rebuilt).
OraStatus RestoreConstraintTriggers(EngineConnection& connection, std::int64_t table_object_id);

}  // namespace volmek::engine
