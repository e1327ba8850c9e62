#include "maint/statistics.h"

#include <fmt/format.h>

#include <ostream>

#include "base/text.h"
#include "datafiles/table_name.h"

namespace volmek::maint {

Status GatherStatistics(db::RunContext& ctx, std::string_view name) {
  std::string upper = UpperCase(name);
  VOLMEK_RETURN_IF_ERROR(datafiles::CheckTableName(upper));
  db::Session& session = ctx.db();
  VOLMEK_ASSIGN_OR_RETURN(
      bool analyzed, session.RunStatement(fmt::format("analyze table {} compute statistics", upper),
                                          db::Report::kSilent));
  // Only an execute failure (the name is not a table) leads to the index form; a statement
  // that did not even parse leaves execute_failed() false.
  if (!analyzed && session.execute_failed()) {
    VOLMEK_ASSIGN_OR_RETURN(
        bool index_analyzed,
        session.RunStatement(fmt::format("analyze index {} compute statistics", upper),
                             db::Report::kSilent));
    (void)index_analyzed;
  }
  ctx.out << fmt::format("Actualizado {}.\n", upper);
  return Status::Ok();
}

}  // namespace volmek::maint
