#include "maint/sort.h"

#include <fmt/format.h>

#include "base/text.h"
#include "db/columns.h"
#include "maint/counts.h"
#include "maint/dictionary.h"
#include "maint/preflight.h"
#include "maint/run_statement.h"
#include "maint/sort_options.h"
#include "maint/table_copy.h"

namespace volmek::maint {

namespace {

bool HasKeyEntries(const SortOptions& options) {
  for (const SortKey& key : options.keys) {
    if (!key.name.empty() && key.name != ",") return true;
  }
  return false;
}

// Writes the order list as the key fields of `key`. Positions count the skipped "," entries.
Status WriteKeys(db::Session& session, const SortOptions& options, std::string_view key) {
  for (std::size_t key_idx = 0; key_idx < options.keys.size(); ++key_idx) {
    const SortKey& entry = options.keys[key_idx];
    if (entry.name.empty() || entry.name == ",") continue;
    VOLMEK_RETURN_IF_ERROR(
        RunStep(session, fmt::format("insert into xclave values ({},{},{},'{}')", SqlQuote(key),
                                     key_idx, SqlQuote(entry.name), entry.descending ? "D" : "A")));
  }
  return Status::Ok();
}

Status SortInSession(db::RunContext& ctx, const SortOptions& options) {
  db::Session& session = ctx.db();
  std::string input_key = DictionaryKey(UpperCase(options.input));
  std::string output_key = DictionaryKey(UpperCase(options.output));
  VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, UpperCase(options.input)));
  if (!exists) return Status::Refused(MissingTableMessage(options.input));
  Result<DictionaryRows> rows = ReadDictionary(session, input_key);
  if (!rows) {
    if (rows.error().code() == Status::Code::kFatal) return rows.error();
    return Status::Refused(UnreadableDictionaryMessage(options.input, input_key));
  }

  // A condition that cannot run would leave the output dropped and not made again.
  if (!options.include.empty() || !options.omit.empty()) {
    VOLMEK_RETURN_IF_ERROR(CheckQueryRuns(session, SortSelectText(options), options.input));
  }

  VOLMEK_RETURN_IF_ERROR(session.BeginUnit());
  VOLMEK_RETURN_IF_ERROR(
      RunStep(session, fmt::format("drop table {}", options.output), db::Report::kSilent));
  std::string create = SortCreateText(options);
  ctx.out << fmt::format("sql: {}\n", create);
  VOLMEK_RETURN_IF_ERROR(RequireStep(session, create));

  // A key shared by input and output is one entry: it is kept, not deleted and copied onto
  // itself.
  bool shared_key = input_key == output_key;
  if (!shared_key) {
    VOLMEK_RETURN_IF_ERROR(DeleteDictionary(session, output_key));
    VOLMEK_RETURN_IF_ERROR(WriteDictionary(session, *rows, output_key));
  }
  if (!shared_key || HasKeyEntries(options)) {
    VOLMEK_RETURN_IF_ERROR(
        RunStep(session, fmt::format("delete from xclave where indice = {}", SqlQuote(output_key)),
                db::Report::kSilent));
    VOLMEK_RETURN_IF_ERROR(WriteKeys(session, options, output_key));
  }
  VOLMEK_RETURN_IF_ERROR(session.EndUnit());
  std::string output = options.output;
  return RowCount(ctx, output, true);
}

}  // namespace

Status Sort(db::RunContext& ctx, std::string_view line) {
  VOLMEK_ASSIGN_OR_RETURN(SortOptions options, ParseSortOptions(line));
  VOLMEK_RETURN_IF_ERROR(CheckSortNames(options));
  if (UpperCase(options.input) == UpperCase(options.output)) {
    return Status::Refused(SameTableMessage(options.output));
  }
  VOLMEK_ASSIGN_OR_RETURN(ctx.session, db::Session::Open(ctx.env, ctx.echo, ctx.out));
  VOLMEK_RETURN_IF_ERROR(SortInSession(ctx, options));
  VOLMEK_RETURN_IF_ERROR(ctx.db().Close());
  ctx.session.reset();
  return Status::Ok();
}

}  // namespace volmek::maint
