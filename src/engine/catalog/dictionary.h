// The data dictionary views (USER_TABLES, USER_TAB_COLUMNS, ...), DUAL, and the name lookup
// the translator resolves names through.
//
// Each view is a TEMP view of the connection over the catalogue tables, filtered by the
// logged-on user where Oracle's view is: USER_* show the user's own objects, ALL_* every
// user's. The translator sees them as TableInfo entries (is_view set) named as Oracle names
// them; the short synonyms TABS, CAT, COLS, IND, SEQ and OBJ resolve to the same views.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine {

// Creates the TEMP views for `user` on `db` (once per connection).
OraStatus CreateDictionaryViews(sqlite3* db, std::string_view user);

// The dictionary view or DUAL called `name` (synonyms included), as the translator sees it.
std::optional<TableInfo> FindDictionaryView(std::string_view name);

// The TableInfo of a catalogue table or view of `owner`.
OraResult<std::optional<TableInfo>> LoadTableInfo(const Catalog& catalog, const ObjectRef& ref);

// Name resolution for one user: own tables and views first, then the dictionary views.
class CatalogLookup : public SchemaLookup {
 public:
  CatalogLookup(const Catalog& catalog, std::string user)
      : catalog_(catalog), user_(std::move(user)) {}

  std::optional<TableInfo> FindTable(std::string_view name) const override;
  bool SequenceExists(std::string_view name) const override;
  std::string CurrentUser() const override { return user_; }

 private:
  const Catalog& catalog_;
  std::string user_;
};

}  // namespace volmek::engine
