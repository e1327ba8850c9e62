// The engine's own aggregates: SUM and AVG in exact decimal arithmetic, their forms for
// windows whose start moves (vk_wsum, vk_wavg), and LISTAGG (vk_listagg); and the key that
// RANGE frames with an offset compare (vk_range_key).
//
// SUM and AVG also serve as window functions over frames that start at the partition's first
// row, where SQLite never takes a row out again. A frame whose start moves takes rows out
// (xInverse): vk_wsum keeps the frame's values, so that a sum whose additions rounded (40
// significant digits) is added up again from them rather than corrected by a subtraction that
// would not give the digits back.
#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/functions/function_support.h"

namespace volmek::engine::fn {

namespace {

// The state of SUM and AVG. SQLite hands out zeroed memory, which is the state of no rows
// (a zero Decimal is all zero bytes); it is copied in and out so that it is never used through
// a pointer of another type.
struct SumState {
  Decimal sum;
  long long count = 0;
};

void SumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto number = NumberArg(Arg(argv, 0));
  if (!number) return ResultError(ctx, number.error());
  void* memory = sqlite3_aggregate_context(ctx, sizeof(SumState));
  if (memory == nullptr) return sqlite3_result_error_nomem(ctx);
  if (!*number) return;
  SumState state;
  std::memcpy(static_cast<void*>(&state), memory, sizeof state);
  auto sum = Decimal::Add(state.sum, **number);
  if (!sum) return ResultError(ctx, sum.error());
  state.sum = *sum;
  ++state.count;
  std::memcpy(memory, static_cast<const void*>(&state), sizeof state);
}

std::optional<SumState> CurrentSum(sqlite3_context* ctx) {
  void* memory = sqlite3_aggregate_context(ctx, 0);
  if (memory == nullptr) return std::nullopt;
  SumState state;
  std::memcpy(static_cast<void*>(&state), memory, sizeof state);
  if (state.count == 0) return std::nullopt;
  return state;
}

void ResultSum(sqlite3_context* ctx, const Decimal& sum) { ResultNumber(ctx, sum); }

void ResultAverage(sqlite3_context* ctx, const Decimal& sum, long long count) {
  auto average = Decimal::Div(sum, Decimal::FromInt64(count));
  if (!average) return ResultError(ctx, average.error());
  ResultNumber(ctx, *average);
}

void SumValue(sqlite3_context* ctx) {
  std::optional<SumState> state = CurrentSum(ctx);
  if (!state) return sqlite3_result_null(ctx);
  ResultSum(ctx, state->sum);
}

void AvgValue(sqlite3_context* ctx) {
  std::optional<SumState> state = CurrentSum(ctx);
  if (!state) return sqlite3_result_null(ctx);
  ResultAverage(ctx, state->sum, state->count);
}

// The translator gives SUM and AVG only frames that never lose a row; vk_wsum takes the others.
void NoInverse(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultError(ctx, Ora(3001, "unimplemented feature"));
}

// A C++ object living in SQLite's aggregate memory: built by the first step, destroyed by the
// final call, which SQLite makes once for every aggregate context it handed out.
template <typename State>
struct Slot {
  bool built;
  alignas(State) unsigned char bytes[sizeof(State)];
};

template <typename State>
State* SlotState(sqlite3_context* ctx, bool create) {
  void* memory = sqlite3_aggregate_context(ctx, create ? sizeof(Slot<State>) : 0);
  if (memory == nullptr) return nullptr;
  auto* slot = static_cast<Slot<State>*>(memory);
  if (!slot->built) {
    if (!create) return nullptr;
    std::construct_at(reinterpret_cast<State*>(slot->bytes));
    slot->built = true;
  }
  return std::launder(reinterpret_cast<State*>(slot->bytes));
}

template <typename State>
void DestroySlot(sqlite3_context* ctx) {
  void* memory = sqlite3_aggregate_context(ctx, 0);
  if (memory == nullptr) return;
  auto* slot = static_cast<Slot<State>*>(memory);
  if (!slot->built) return;
  std::destroy_at(std::launder(reinterpret_cast<State*>(slot->bytes)));
  slot->built = false;
}

// True when a + b (or a - b) needs no more than the digits a Decimal keeps: the positions from
// the higher leading digit (plus a carry) down to the lower last digit fit in 40.
bool ExactSum(const Decimal& a, const Decimal& b) {
  if (a.is_zero() || b.is_zero()) return true;
  const int high = std::max(a.Exponent(), b.Exponent()) + 1;
  const int low =
      std::min(a.Exponent() - a.SignificantDigits(), b.Exponent() - b.SignificantDigits());
  return high - low <= Decimal::kMaxDigits;
}

struct WindowSum {
  std::deque<Decimal> values;  // the frame's non-NULL values, oldest first
  Decimal sum;
  bool stale = false;  // `sum` must be added up again from `values`
};

void WindowSumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto number = NumberArg(Arg(argv, 0));
  if (!number) return ResultError(ctx, number.error());
  WindowSum* state = SlotState<WindowSum>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  if (!*number) return;
  state->values.push_back(**number);
  if (state->stale) return;
  if (!ExactSum(state->sum, **number)) {
    state->stale = true;
    return;
  }
  auto sum = Decimal::Add(state->sum, **number);
  if (!sum) return ResultError(ctx, sum.error());
  state->sum = *sum;
}

void WindowSumInverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto number = NumberArg(Arg(argv, 0));
  if (!number) return ResultError(ctx, number.error());
  WindowSum* state = SlotState<WindowSum>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  if (!*number || state->values.empty()) return;
  state->values.pop_front();
  if (state->stale) return;
  if (!ExactSum(state->sum, **number)) {
    state->stale = true;
    return;
  }
  auto sum = Decimal::Sub(state->sum, **number);
  if (!sum) return ResultError(ctx, sum.error());
  state->sum = *sum;
}

// The frame's sum, added up again when a step could not keep it exact. False after an error.
bool FrameSum(sqlite3_context* ctx, WindowSum* state) {
  if (!state->stale) return true;
  Decimal sum;
  bool exact = true;
  for (const Decimal& value : state->values) {
    exact = exact && ExactSum(sum, value);
    auto next = Decimal::Add(sum, value);
    if (!next) {
      ResultError(ctx, next.error());
      return false;
    }
    sum = *next;
  }
  state->sum = sum;
  state->stale = !exact;
  return true;
}

void WindowSumValue(sqlite3_context* ctx) {
  WindowSum* state = SlotState<WindowSum>(ctx, false);
  if (state == nullptr || state->values.empty()) return sqlite3_result_null(ctx);
  if (FrameSum(ctx, state)) ResultSum(ctx, state->sum);
}

void WindowAvgValue(sqlite3_context* ctx) {
  WindowSum* state = SlotState<WindowSum>(ctx, false);
  if (state == nullptr || state->values.empty()) return sqlite3_result_null(ctx);
  if (!FrameSum(ctx, state)) return;
  ResultAverage(ctx, state->sum, static_cast<long long>(state->values.size()));
}

void WindowSumFinal(sqlite3_context* ctx) {
  WindowSumValue(ctx);
  DestroySlot<WindowSum>(ctx);
}

void WindowAvgFinal(sqlite3_context* ctx) {
  WindowAvgValue(ctx);
  DestroySlot<WindowSum>(ctx);
}

// vk_listagg(text, delimiter, key1, flags1, key2, flags2, ...): the non-NULL texts in the
// order of the keys, joined by the delimiter. Each key's flags: 1 descending, 2 NULLs first,
// 4 compared as numbers (else as text, byte by byte: NLS_SORT=BINARY).
struct ListAggKey {
  bool null = true;
  Decimal number;
  std::string text;
};

struct ListAggEntry {
  std::string text;
  std::vector<ListAggKey> keys;
};

struct ListAgg {
  std::vector<ListAggEntry> entries;
  std::vector<int> flags;
  std::string delimiter;
  bool sorted = true;
  // The joined text while no row was added since: a window asks once per row of the partition.
  std::optional<std::string> joined;
};

// The sort keys of a row: argv[first], argv[first + 1] as key and flags, and so on.
OraResult<std::vector<ListAggKey>> ReadKeys(int argc, sqlite3_value** argv, int first) {
  std::vector<ListAggKey> keys;
  for (int idx = first; idx + 1 < argc; idx += 2) {
    ListAggKey key;
    SqlValue key_value = Arg(argv, idx);
    if (!IsNull(key_value)) {
      key.null = false;
      if (sqlite3_value_int(argv[idx + 1]) & 4) {
        VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, NumberArg(key_value));
        key.number = number.value_or(Decimal());
      } else {
        VK_ASSIGN_OR_ORA_RETURN(TextArg text, TextOf(key_value));
        key.text = std::string(text.view());
      }
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

// -1, 0 or 1 as row a sorts before, level with or after row b.
int CompareKeys(const std::vector<int>& flags, const std::vector<ListAggKey>& a,
                const std::vector<ListAggKey>& b) {
  for (std::size_t idx = 0; idx < a.size() && idx < b.size() && idx < flags.size(); ++idx) {
    const ListAggKey& x = a[idx];
    const ListAggKey& y = b[idx];
    const int key_flags = flags[idx];
    if (x.null || y.null) {
      if (x.null && y.null) continue;
      const bool nulls_first = (key_flags & 2) != 0;
      return x.null == nulls_first ? -1 : 1;
    }
    int order = (key_flags & 4) ? Decimal::Compare(x.number, y.number) : x.text.compare(y.text);
    if (order == 0) continue;
    if (key_flags & 1) order = -order;
    return order < 0 ? -1 : 1;
  }
  return 0;
}

// Oracle's limit on a VARCHAR2 result in SQL.
constexpr std::size_t kMaxListAggBytes = kMaxVarchar2Bytes;

void ListAggStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc % 2 != 0) return ResultError(ctx, WrongArgumentCount());
  ListAgg* state = SlotState<ListAgg>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return;
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  ListAggEntry entry;
  entry.text = std::string(text->view());
  if (state->entries.empty()) {
    SqlValue delimiter = Arg(argv, 1);
    if (!IsNull(delimiter)) {
      auto delimiter_text = TextOf(delimiter);
      if (!delimiter_text) return ResultError(ctx, delimiter_text.error());
      state->delimiter = std::string(delimiter_text->view());
    }
    state->flags.clear();
    for (int idx = 3; idx < argc; idx += 2) {
      state->flags.push_back(sqlite3_value_int(argv[idx]));
    }
  }
  auto keys = ReadKeys(argc, argv, 2);
  if (!keys) return ResultError(ctx, keys.error());
  entry.keys = std::move(*keys);
  state->entries.push_back(std::move(entry));
  state->sorted = false;
  state->joined.reset();
}

bool ListAggBefore(const std::vector<int>& flags, const ListAggEntry& a, const ListAggEntry& b) {
  return CompareKeys(flags, a.keys, b.keys) < 0;
}

void ListAggValue(sqlite3_context* ctx) {
  ListAgg* state = SlotState<ListAgg>(ctx, false);
  if (state == nullptr || state->entries.empty()) return sqlite3_result_null(ctx);
  if (state->joined.has_value()) return ResultText(ctx, *state->joined);
  if (!state->sorted) {
    std::stable_sort(state->entries.begin(), state->entries.end(),
                     [state](const ListAggEntry& a, const ListAggEntry& b) {
                       return ListAggBefore(state->flags, a, b);
                     });
    state->sorted = true;
  }
  std::string result;
  for (std::size_t idx = 0; idx < state->entries.size(); ++idx) {
    if (idx > 0) result += state->delimiter;
    result += state->entries[idx].text;
    if (result.size() > kMaxListAggBytes) {
      return ResultError(ctx, Ora(1489, "result of string concatenation is too long"));
    }
  }
  ResultText(ctx, result);
  state->joined = std::move(result);
}

// vk_first_value_nn(x [, n]), vk_last_value_nn(x [, n]): FIRST_VALUE and LAST_VALUE with
// IGNORE NULLS, the first and last (n-th, n-th last) non-NULL value of the frame; over frames
// that end before or start after the current row they are LEAD and LAG with IGNORE NULLS. The
// frame's non-NULL values are kept with the number of their row, so that a row leaving the frame
// (always its first) takes its value along.
struct ValueFree {
  void operator()(sqlite3_value* value) const { sqlite3_value_free(value); }
};
using ValuePtr = std::unique_ptr<sqlite3_value, ValueFree>;

struct NonNullFrame {
  std::deque<std::pair<long long, ValuePtr>> values;
  long long added = 0;
  long long removed = 0;
  std::size_t position = 1;  // the n of a second argument: the n-th non-NULL value
};

void NonNullStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  NonNullFrame* state = SlotState<NonNullFrame>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  if (argc > 1) state->position = static_cast<std::size_t>(std::max(1, sqlite3_value_int(argv[1])));
  const long long row = state->added++;
  if (IsNull(Arg(argv, 0))) return;
  ValuePtr copy(sqlite3_value_dup(argv[0]));
  if (copy == nullptr) return sqlite3_result_error_nomem(ctx);
  state->values.emplace_back(row, std::move(copy));
}

void NonNullInverse(sqlite3_context* ctx, int, sqlite3_value**) {
  NonNullFrame* state = SlotState<NonNullFrame>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  const long long row = state->removed++;
  if (!state->values.empty() && state->values.front().first == row) state->values.pop_front();
}

void FirstNonNullValue(sqlite3_context* ctx) {
  NonNullFrame* state = SlotState<NonNullFrame>(ctx, false);
  if (state == nullptr || state->values.size() < state->position) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, state->values[state->position - 1].second.get());
}

void LastNonNullValue(sqlite3_context* ctx) {
  NonNullFrame* state = SlotState<NonNullFrame>(ctx, false);
  if (state == nullptr || state->values.size() < state->position) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, state->values[state->values.size() - state->position].second.get());
}

void FirstNonNullFinal(sqlite3_context* ctx) {
  FirstNonNullValue(ctx);
  DestroySlot<NonNullFrame>(ctx);
}

void LastNonNullFinal(sqlite3_context* ctx) {
  LastNonNullValue(ctx);
  DestroySlot<NonNullFrame>(ctx);
}

// vk_keep(mode, value, key1, flags1, ...): an aggregate with KEEP (DENSE_RANK FIRST|LAST
// ORDER BY ...), over the rows that sort first (or last) only. mode: the aggregate times 4
// (0 MIN, 1 MAX, 2 SUM, 3 AVG, 4 COUNT(x), 5 COUNT(*)), plus 2 for LAST, plus 1 when the value
// is a number. Only the best keys met so far and the aggregate of their rows are kept.
struct Keep {
  bool any = false;
  int mode = 0;
  std::vector<int> flags;
  std::vector<ListAggKey> best;
  ValuePtr extreme;
  Decimal extreme_number;
  Decimal sum;
  long long count = 0;
};

OraStatus KeepAdd(int mode, sqlite3_value* value, Keep* state) {
  const int kind = mode / 4;
  if (kind == 5) {
    ++state->count;
    return {};
  }
  SqlValue read = FromSqlite(value);
  if (IsNull(read)) return {};
  ++state->count;
  if (kind == 4) return {};
  if (kind == 2 || kind == 3) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, NumberArg(read));
    VK_ASSIGN_OR_ORA_RETURN(state->sum, Decimal::Add(state->sum, *number));
    return {};
  }
  int order = 0;
  Decimal number;
  if (mode & 1) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> read_number, NumberArg(read));
    number = *read_number;
    if (state->extreme) order = Decimal::Compare(number, state->extreme_number);
  } else if (state->extreme) {
    VK_ASSIGN_OR_ORA_RETURN(TextArg text, TextOf(read));
    VK_ASSIGN_OR_ORA_RETURN(TextArg best, TextOf(FromSqlite(state->extreme.get())));
    order = text.view().compare(best.view());
  }
  if (state->extreme && (kind == 0 ? order >= 0 : order <= 0)) return {};
  state->extreme.reset(sqlite3_value_dup(value));
  if (!state->extreme) return OraErr(Ora(4030, "out of process memory"));
  state->extreme_number = number;
  return {};
}

void KeepStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 2 || argc % 2 != 0) return ResultError(ctx, WrongArgumentCount());
  Keep* state = SlotState<Keep>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  const int mode = sqlite3_value_int(argv[0]);
  auto keys = ReadKeys(argc, argv, 2);
  if (!keys) return ResultError(ctx, keys.error());
  if (!state->any) {
    state->mode = mode;
    for (int idx = 3; idx < argc; idx += 2) state->flags.push_back(sqlite3_value_int(argv[idx]));
  }
  const int order = state->any ? CompareKeys(state->flags, *keys, state->best) : 0;
  const bool better = !state->any || ((mode & 2) ? order > 0 : order < 0);
  if (better) {
    state->any = true;
    state->best = std::move(*keys);
    state->extreme.reset();
    state->sum = Decimal();
    state->count = 0;
  } else if (order != 0) {
    return;
  }
  OraStatus added = KeepAdd(mode, argv[1], state);
  if (!added) ResultError(ctx, added.error());
}

void KeepValue(sqlite3_context* ctx, int mode) {
  Keep* state = SlotState<Keep>(ctx, false);
  const int kind = mode / 4;
  if (kind >= 4) return sqlite3_result_int64(ctx, state == nullptr ? 0 : state->count);
  if (state == nullptr || state->count == 0) return sqlite3_result_null(ctx);
  if (kind == 2) return ResultNumber(ctx, state->sum);
  if (kind == 3) return ResultAverage(ctx, state->sum, state->count);
  sqlite3_result_value(ctx, state->extreme.get());
}

void KeepAggregateValue(sqlite3_context* ctx) {
  Keep* state = SlotState<Keep>(ctx, false);
  KeepValue(ctx, state == nullptr ? 0 : state->mode);
}

void KeepAggregateFinal(sqlite3_context* ctx) {
  KeepAggregateValue(ctx);
  DestroySlot<Keep>(ctx);
}

// vk_keep_count: the COUNT forms, which give 0 (not NULL) for no rows.
void KeepCountValue(sqlite3_context* ctx) {
  Keep* state = SlotState<Keep>(ctx, false);
  sqlite3_result_int64(ctx, state == nullptr ? 0 : state->count);
}

void KeepCountFinal(sqlite3_context* ctx) {
  KeepCountValue(ctx);
  DestroySlot<Keep>(ctx);
}

// vk_count_distinct(x, numeric): COUNT(DISTINCT x) over a whole partition, numbers told apart by
// value (numeric 1) and other values by their text.
struct Distinct {
  std::unordered_set<std::string> values;
};

void DistinctStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Distinct* state = SlotState<Distinct>(ctx, true);
  if (state == nullptr) return sqlite3_result_error_nomem(ctx);
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return;
  if (sqlite3_value_int(argv[1]) == 1) {
    auto number = NumberArg(value);
    if (!number) return ResultError(ctx, number.error());
    state->values.insert((*number)->ToCanonical());
    return;
  }
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  state->values.emplace(text->view());
}

void DistinctValue(sqlite3_context* ctx) {
  Distinct* state = SlotState<Distinct>(ctx, false);
  sqlite3_result_int64(ctx, state == nullptr ? 0 : static_cast<long long>(state->values.size()));
}

void DistinctFinal(sqlite3_context* ctx) {
  DistinctValue(ctx);
  DestroySlot<Distinct>(ctx);
}

// vk_range_key(value, kind): what a RANGE frame with an offset compares, as an INTEGER SQLite
// can add the offset to exactly: a number (kind 0) that is whole and within 2^53, or a date
// (kind 1) in seconds. Other numbers are ORA-03001: a double would misplace frame edges.
void RangeKey(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  if (sqlite3_value_int(argv[1]) == 1) {
    auto date = DateArg(value, Settings(ctx));
    if (!date) return ResultError(ctx, date.error());
    return sqlite3_result_int64(ctx, ToSeconds(**date));
  }
  auto number = NumberArg(value);
  if (!number) return ResultError(ctx, number.error());
  std::optional<std::int64_t> whole = (*number)->ToInt64Exact();
  constexpr std::int64_t kLimit = std::int64_t{1} << 53;
  if (!whole.has_value() || *whole > kLimit || *whole < -kLimit) {
    return ResultError(ctx, Ora(3001, "unimplemented feature"));
  }
  sqlite3_result_int64(ctx, *whole);
}

void ListAggFinal(sqlite3_context* ctx) {
  ListAggValue(ctx);
  DestroySlot<ListAgg>(ctx);
}

}  // namespace

int RegisterAggregates(sqlite3* db, void* user_data) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  struct Window {
    const char* name;
    int args;
    void (*step)(sqlite3_context*, int, sqlite3_value**);
    void (*final)(sqlite3_context*);
    void (*value)(sqlite3_context*);
    void (*inverse)(sqlite3_context*, int, sqlite3_value**);
  };
  const Window kWindows[] = {
      {"sum", 1, SumStep, SumValue, SumValue, NoInverse},
      {"avg", 1, SumStep, AvgValue, AvgValue, NoInverse},
      {"vk_wsum", 1, WindowSumStep, WindowSumFinal, WindowSumValue, WindowSumInverse},
      {"vk_wavg", 1, WindowSumStep, WindowAvgFinal, WindowAvgValue, WindowSumInverse},
      {"vk_listagg", -1, ListAggStep, ListAggFinal, ListAggValue, NoInverse},
      {"vk_count_distinct", 2, DistinctStep, DistinctFinal, DistinctValue, NoInverse},
      {"vk_keep", -1, KeepStep, KeepAggregateFinal, KeepAggregateValue, NoInverse},
      {"vk_keep_count", -1, KeepStep, KeepCountFinal, KeepCountValue, NoInverse},
      {"vk_first_value_nn", 1, NonNullStep, FirstNonNullFinal, FirstNonNullValue, NonNullInverse},
      {"vk_last_value_nn", 1, NonNullStep, LastNonNullFinal, LastNonNullValue, NonNullInverse},
      {"vk_first_value_nn", 2, NonNullStep, FirstNonNullFinal, FirstNonNullValue, NonNullInverse},
      {"vk_last_value_nn", 2, NonNullStep, LastNonNullFinal, LastNonNullValue, NonNullInverse},
  };
  for (const Window& window : kWindows) {
    int rc =
        sqlite3_create_window_function(db, window.name, window.args, flags, user_data, window.step,
                                       window.final, window.value, window.inverse, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return sqlite3_create_function_v2(db, "vk_range_key", 2, flags, user_data, RangeKey, nullptr,
                                    nullptr, nullptr);
}

}  // namespace volmek::engine::fn
