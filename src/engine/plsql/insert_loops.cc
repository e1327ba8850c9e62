// Numeric FOR loops whose whole body is one INSERT written by the direct path, their rows
// written in groups.
//
// `FOR i IN 1 .. n LOOP INSERT INTO t VALUES (...); END LOOP` is how scripts fill a table.
// From its second turn on the INSERT's values are computed here (sql_native.cc) and nothing
// else happens in a turn: the values depend only on the counter and the block's variables, which
// the body does not change. So the turns' rows are computed one after the other and handed to
// the cursor a group at a time (SqlCursor::InsertValuesGroup), one SQLite statement for the
// group, as loads write theirs: SQLite then finds each row's place in the key's index from the
// last one instead of from the index's root, and ends one statement per group.
//
// What is observable stays each turn's own: a group is written whole or not at all; when SQLite
// refuses it, its rows go again one at a time, and at the first one the direct path does not
// write, the loop goes back to that turn and runs it as usual (the statement reports its own
// error there, its line and handlers as ever; later turns computed ahead are dropped). A turn
// whose values are not computed here ends the group before it. Every turn counts its steps as
// if it had run alone, and no turn is grouped past the step limit.
#include "engine/plsql/interpreter.h"

namespace volmek::engine::plsql {

NativeDml* Interpreter::GroupedInsertOf(const Stmt& loop) {
  if (loop.body.size() != 1 || loop.body[0]->kind != Stmt::Kind::kSql) return nullptr;
  auto found = native_dml_.find(loop.body[0].get());
  if (found == native_dml_.end()) return nullptr;
  NativeDml& dml = found->second;
  if (!dml.usable || dml.update || dml.program.empty()) return nullptr;
  if (!dml.cursor) dml.cursor = host_.OpenCursor();
  if (dml.cursor->InsertGroupRows(dml.table) < 2) return nullptr;
  return &dml;
}

std::int64_t Interpreter::RunGroupedInserts(NativeDml& dml, Variable& counter, std::int64_t turn,
                                            std::int64_t last, bool reverse) {
  SqlCursor& cursor = *dml.cursor;
  const std::size_t group = cursor.InsertGroupRows(dml.table);
  const std::size_t columns = dml.program.size();
  if (group < 2) return turn;
  // A turn is its statement and the loop's turn: two steps.
  constexpr std::uint64_t kStepsPerTurn = 2;
  const std::uint64_t max_steps = host_.options().max_steps;
  auto within = [&](std::int64_t at) { return reverse ? at >= last : at <= last; };
  std::vector<NativeValue> rows(group * columns);
  std::vector<std::int64_t> turns;
  turns.reserve(group);
  // Writes the rows gathered: nullopt when all are written, else the turn of the first one
  // that is not (the rows before it are), whose steps and those of the turns after it are
  // taken back.
  auto write = [&]() -> std::optional<std::int64_t> {
    std::span<const NativeValue> values(rows.data(), turns.size() * columns);
    if (turns.size() == group && cursor.InsertValuesGroup(dml.table, values)) {
      sql_rowcount_ = 1;
      return std::nullopt;
    }
    for (std::size_t k = 0; k < turns.size(); ++k) {
      if (!cursor.InsertValues(dml.table, values.subspan(k * columns, columns))) {
        steps_ -= kStepsPerTurn * (turns.size() - k);
        return turns[k];
      }
      sql_rowcount_ = 1;
    }
    return std::nullopt;
  };
  while (within(turn) && steps_ + kStepsPerTurn <= max_steps) {
    counter.value = Value::Integer(turn);
    if (!ComputeValues(dml)) break;
    std::copy(dml.row.begin(), dml.row.end(), rows.begin() + turns.size() * columns);
    turns.push_back(turn);
    steps_ += kStepsPerTurn;
    turn = reverse ? turn - 1 : turn + 1;
    if (turns.size() == group) {
      if (std::optional<std::int64_t> refused = write()) return *refused;
      turns.clear();
    }
  }
  if (std::optional<std::int64_t> refused = write()) return *refused;
  return turn;
}

}  // namespace volmek::engine::plsql
