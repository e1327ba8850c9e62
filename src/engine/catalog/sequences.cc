#include "engine/catalog/sequences.h"

#include <fmt/format.h>

#include <algorithm>

namespace volmek::engine {
namespace {

std::string Key(std::string_view owner, std::string_view name) {
  std::string key(owner);
  key += '.';
  key += name;
  return key;
}

OraError NoSuchSequence() { return Ora(2289, "sequence does not exist"); }

void ResultSeqValue(sqlite3_context* context, SeqValue value) {
  if (value >= INT64_MIN && value <= INT64_MAX) {
    sqlite3_result_int64(context, static_cast<std::int64_t>(value));
  } else {
    std::string text = SeqValueText(value);
    sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
}

std::string_view ArgText(sqlite3_value* value) {
  const unsigned char* text = sqlite3_value_text(value);
  if (text == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(text),
                          static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

template <bool kNext>
void SequenceFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  auto* cache = static_cast<SequenceCache*>(sqlite3_user_data(context));
  if (argc != 2 && !(kNext && argc == 3)) {
    sqlite3_result_error(context, "ORA-00909: invalid number of arguments", -1);
    return;
  }
  std::string_view owner = ArgText(argv[0]);
  std::string_view name = ArgText(argv[1]);
  OraResult<SeqValue> value = !kNext ? cache->CurrVal(owner, name)
                              : argc == 3
                                  ? cache->RowNextVal(owner, name, sqlite3_value_int64(argv[2]))
                                  : cache->NextVal(owner, name);
  if (!value.has_value()) {
    sqlite3_result_error(context, value.error().message.c_str(),
                         static_cast<int>(value.error().message.size()));
    return;
  }
  ResultSeqValue(context, *value);
}

}  // namespace

OraResult<SeqValue> ParseSeqValue(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 36) return OraErr(1722, "invalid number");
  SeqValue value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return OraErr(1722, "invalid number");
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

std::string SeqValueText(SeqValue value) {
  if (value == 0) return "0";
  bool negative = value < 0;
  std::string digits;
  while (value != 0) {
    int digit = static_cast<int>(value % 10);
    digits += static_cast<char>('0' + (digit < 0 ? -digit : digit));
    value /= 10;
  }
  if (negative) digits += '-';
  std::reverse(digits.begin(), digits.end());
  return digits;
}

OraResult<SeqValue> SequenceCache::NextVal(std::string_view owner, std::string_view name) {
  auto it = states_.find(Key(owner, name));
  if (it == states_.end()) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<SequenceInfo> info, catalog_.FindSequence(owner, name));
    if (!info.has_value()) return OraErr(NoSuchSequence());
    State state;
    VK_ASSIGN_OR_ORA_RETURN(state.increment, ParseSeqValue(info->increment_by));
    VK_ASSIGN_OR_ORA_RETURN(state.min, ParseSeqValue(info->min_value));
    VK_ASSIGN_OR_ORA_RETURN(state.max, ParseSeqValue(info->max_value));
    VK_ASSIGN_OR_ORA_RETURN(state.next, ParseSeqValue(info->last_number));
    state.info = std::move(*info);
    it = states_.emplace(Key(owner, name), std::move(state)).first;
  }
  State& state = it->second;
  if (state.remaining == 0) {
    // Take a new block starting at the catalogue's LAST_NUMBER, or after the highest value
    // this session handed out when a rollback took the catalogue back.
    VK_ASSIGN_OR_ORA_RETURN(std::optional<SequenceInfo> info, catalog_.FindSequence(owner, name));
    if (!info.has_value()) return OraErr(NoSuchSequence());
    VK_ASSIGN_OR_ORA_RETURN(SeqValue last, ParseSeqValue(info->last_number));
    SeqValue start = state.has_current ? (state.increment > 0 ? std::max(last, state.next)
                                                              : std::min(last, state.next))
                                       : last;
    bool past_end = state.increment > 0 ? start > state.max : start < state.min;
    if (past_end) {
      if (!state.info.cycle) {
        return OraErr(8004, fmt::format("sequence {}.NEXTVAL {} {}VALUE and cannot be instantiated",
                                        name, state.increment > 0 ? "exceeds" : "goes below",
                                        state.increment > 0 ? "MAX" : "MIN"));
      }
      start = state.increment > 0 ? state.min : state.max;
    }
    SeqValue cache = std::max<std::int64_t>(state.info.cache_size, 1);
    state.next = start;
    state.remaining = cache;
    state.block_end = start + cache * state.increment;
    state.dirty = true;
  }
  SeqValue value = state.next;
  state.next += state.increment;
  --state.remaining;
  bool beyond = state.increment > 0 ? state.next > state.max : state.next < state.min;
  if (beyond) {
    // The block ends at the limit; the next NEXTVAL takes a new block (and cycles or fails).
    state.remaining = 0;
    state.block_end = state.next;
  }
  state.has_current = true;
  state.current = value;
  return value;
}

OraResult<SeqValue> SequenceCache::RowNextVal(std::string_view owner, std::string_view name,
                                              std::int64_t reference) {
  std::string key = Key(owner, name);
  auto it = row_values_.find(key);
  if (it != row_values_.end() && !it->second.references.contains(reference)) {
    it->second.references.insert(reference);
    return it->second.value;
  }
  VK_ASSIGN_OR_ORA_RETURN(SeqValue value, NextVal(owner, name));
  RowValue& row = row_values_[key];
  row.value = value;
  row.references = {reference};
  return value;
}

OraResult<SeqValue> SequenceCache::CurrVal(std::string_view owner, std::string_view name) {
  auto it = states_.find(Key(owner, name));
  if (it == states_.end() || !it->second.has_current) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<SequenceInfo> info, catalog_.FindSequence(owner, name));
    if (!info.has_value()) return OraErr(NoSuchSequence());
    return OraErr(8002,
                  fmt::format("sequence {}.CURRVAL is not yet defined in this session", name));
  }
  return it->second.current;
}

OraStatus SequenceCache::Flush() {
  for (auto& [key, state] : states_) {
    if (!state.dirty) continue;
    VK_ASSIGN_OR_ORA_RETURN(std::optional<SequenceInfo> info,
                            catalog_.FindSequence(state.info.ref.owner, state.info.ref.name));
    state.dirty = false;
    if (!info.has_value()) continue;
    VK_ASSIGN_OR_ORA_RETURN(SeqValue last, ParseSeqValue(info->last_number));
    bool ahead = state.increment > 0 ? state.block_end > last : state.block_end < last;
    if (!ahead) continue;
    info->last_number = SeqValueText(state.block_end);
    VK_RETURN_IF_ORA_ERROR(catalog_.UpdateSequence(*info));
  }
  return {};
}

void SequenceCache::MarkAllDirty() {
  for (auto& [key, state] : states_) state.dirty = true;
}

void SequenceCache::Forget(std::string_view owner, std::string_view name) {
  auto it = states_.find(Key(owner, name));
  if (it != states_.end()) states_.erase(it);
}

OraStatus SequenceCache::RegisterFunctions(sqlite3* db) {
  int rc = sqlite3_create_function_v2(db, "vk_nextval", 2, SQLITE_UTF8, this,
                                      &SequenceFunction<true>, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "vk_nextval", 3, SQLITE_UTF8, this, &SequenceFunction<true>,
                                    nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "vk_currval", 2, SQLITE_UTF8, this,
                                    &SequenceFunction<false>, nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) return OraErr(600, "internal error code, arguments: [vk_nextval]");
  return {};
}

}  // namespace volmek::engine
