// Stored procedures and functions in the catalogue: their vk_objects row (PROCEDURE or
// FUNCTION), their status and source (vk_code), the source line by line as USER_SOURCE shows it
// (vk_source) and the errors of their last compilation (vk_errors, USER_ERRORS).
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine {

// One row of USER_ERRORS.
struct CompilationError {
  int line = 1;
  int position = 1;
  std::string text;  // "PLS-00201: identifier 'X' must be declared"
  int message_number = 0;
};

struct StoredCode {
  ObjectRef ref;
  bool valid = true;
  std::string source;  // from the PROCEDURE or FUNCTION keyword on
};

// Creates the tables when the file has none yet (files written before they existed).
OraStatus EnsureStoredCodeTables(sqlite3* db);

// Keeps `source` as the code of object `object_id`, VALID when `errors` is empty.
OraStatus SaveStoredCode(Catalog& catalog, std::int64_t object_id, std::string_view source,
                         const std::vector<CompilationError>& errors);

// The code kept for object `ref` (a package or package body too); nullopt when none.
OraResult<std::optional<StoredCode>> LoadCodeOf(const Catalog& catalog, const ObjectRef& ref);

// The procedure or function `name` of `owner`; nullopt when the name is no such object.
OraResult<std::optional<StoredCode>> LoadStoredCode(const Catalog& catalog, std::string_view owner,
                                                    std::string_view name);

}  // namespace volmek::engine
