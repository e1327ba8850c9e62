// Checks made before an operation changes anything, so that a run that cannot succeed is
// refused while the tables it would replace are still there.
//
// Each check fails with kRefused and a Spanish message that ends in "No se modifica nada.";
// the caller returns it before its first drop. A failure of the database itself (the error
// limit) comes back as it is.
#pragma once

#include <string_view>

#include "base/status.h"
#include "db/session.h"
#include "maint/dictionary.h"

namespace volmek::maint {

// Refuses a name the operation derives (ID_<t>, <t>I, <t>1 ...) that is no plain identifier of
// at most 30 characters; `table` is the name typed, from which it was derived.
Status CheckDerivedName(std::string_view name, std::string_view table);

// Refuses a tablespace named by the environment variable `variable` (TBDATOS, TBINDICES) that
// the user has not got (USER_TABLESPACES). An empty value names none and passes.
Status CheckTablespace(db::Session& session, std::string_view variable, std::string_view name);

// Parses and runs the query `select` and fetches its first row, so that a condition that
// cannot run is found before it is needed: the Oracle error is reported and the result is the
// refusal "Error. La condicion de la tabla %s no se puede ejecutar. No se modifica nada.\n".
Status CheckQueryRuns(db::Session& session, std::string_view select, std::string_view table);

// Refuses a record entry whose managed tables could not be created: a field name that is no
// column name, or a key field that is not a field of the record's first table (its unique
// index and the sub-tables' key columns need it there).
Status CheckRecordNames(const RecordEntry& entry, std::string_view table, std::string_view key);

}  // namespace volmek::maint
