// Sequences at run time: NEXTVAL and CURRVAL, and the SQL functions the translator calls for
// them (vk_nextval('OWNER','NAME'), vk_currval('OWNER','NAME')).
//
// Oracle increments a sequence once per row however often the row names S.NEXTVAL, and S.CURRVAL
// in a row that also names S.NEXTVAL gives that same new value. The translator numbers such
// references within a statement, vk_nextval('OWNER','NAME', n): the first reference evaluated in
// a row takes the next value and the row's other references share it; a reference evaluated a
// second time starts the next row. StartStatement forgets the shared values.
//
// Like Oracle, a session takes CACHE values at a time: the catalogue's LAST_NUMBER is moved past
// the cached block when the block is taken, and the values are handed out from memory. Values
// are not transactional: a rollback does not give them back (the next block starts after the
// highest value handed out). Catalogue writes are not made from inside the SQL function; they
// are collected and written by Flush, which the connection calls after each statement and
// before each commit.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine {

using SeqValue = __int128;

// Canonical decimal text <-> 128-bit integer (sequence values stay within 28 digits).
OraResult<SeqValue> ParseSeqValue(std::string_view text);
std::string SeqValueText(SeqValue value);

class SequenceCache {
 public:
  explicit SequenceCache(Catalog& catalog) : catalog_(catalog) {}

  OraResult<SeqValue> NextVal(std::string_view owner, std::string_view name);
  // ORA-08002 before the first NEXTVAL of the session.
  OraResult<SeqValue> CurrVal(std::string_view owner, std::string_view name);
  // NEXTVAL for reference number `reference` of the running statement (see above).
  OraResult<SeqValue> RowNextVal(std::string_view owner, std::string_view name,
                                 std::int64_t reference);
  // A statement starts executing: no row of it has taken a value yet.
  void StartStatement() { row_values_.clear(); }
  // Writes the LAST_NUMBER of the blocks taken since the last Flush.
  OraStatus Flush();
  // After a rollback: the catalogue lost the blocks; write them again at the next Flush.
  void MarkAllDirty();
  // Forgets the session state of a sequence that was dropped or altered.
  void Forget(std::string_view owner, std::string_view name);

  // Registers vk_nextval and vk_currval on `db`, working on this cache.
  OraStatus RegisterFunctions(sqlite3* db);

 private:
  struct State {
    SequenceInfo info;
    SeqValue increment = 1, min = 1, max = 0;
    SeqValue next = 0;       // the next value to hand out
    SeqValue remaining = 0;  // values left in the cached block
    SeqValue block_end = 0;  // LAST_NUMBER to write: the first value after the block
    bool has_current = false;
    SeqValue current = 0;
    bool dirty = false;
  };

  // The value the current row took, and the references of the statement that read it.
  struct RowValue {
    SeqValue value = 0;
    std::set<std::int64_t> references;
  };

  Catalog& catalog_;
  std::map<std::string, State, std::less<>> states_;
  std::map<std::string, RowValue, std::less<>> row_values_;
};

}  // namespace volmek::engine
