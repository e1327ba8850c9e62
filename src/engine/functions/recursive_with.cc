// vk_with_step(row_limit, ancestry, limits, value...): the ancestry a row of a recursive WITH
// passes on to the rows made from it: the digest of its own values after those of its nearest
// ancestors. `limits` gives, comma-separated, the bytes each text value may have (0: any), the
// lengths of the anchor's columns: a longer text is ORA-01489, as the table cannot hold it.
// A row whose digest is already among its parent's ancestry is equal to one of its ancestors:
// a cycle, ORA-32044, as Oracle reports it without a CYCLE clause. Digests are BLAKE2b of 128
// bits over each value's type and bytes (NULLs equal, as Oracle compares rows for cycles), so
// two different rows never share one in practice; only the nearest kKeptAncestors are kept,
// so a row costs the same whatever its depth. Each call site counts its rows: past row_limit,
// the query is stopped with Oracle's error for a query that outgrows its temporary space.
#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/functions/function_support.h"

namespace volmek::engine::fn {

namespace {

constexpr std::size_t kDigestBytes = 16;
constexpr std::size_t kKeptAncestors = 8;

void AddBytes(crypto_generichash_state* state, const void* data, std::size_t size) {
  crypto_generichash_update(state, static_cast<const unsigned char*>(data), size);
}

void AddValue(crypto_generichash_state* state, sqlite3_value* value) {
  const int type = sqlite3_value_type(value);
  const unsigned char tag = static_cast<unsigned char>(type);
  AddBytes(state, &tag, 1);
  if (type == SQLITE_INTEGER) {
    const std::int64_t number = sqlite3_value_int64(value);
    AddBytes(state, &number, sizeof number);
  } else if (type == SQLITE_FLOAT) {
    const double number = sqlite3_value_double(value);
    AddBytes(state, &number, sizeof number);
  } else if (type != SQLITE_NULL) {
    const void* bytes = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(value))
                                            : sqlite3_value_blob(value);
    const std::uint64_t size = static_cast<std::uint64_t>(sqlite3_value_bytes(value));
    AddBytes(state, &size, sizeof size);
    if (bytes != nullptr) AddBytes(state, bytes, size);
  }
}

// Whether each text value is within its limit.
bool Fits(int argc, sqlite3_value** argv) {
  const auto* limits = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
  if (limits == nullptr) return true;
  for (int arg_idx = 3; arg_idx < argc && *limits != '\0'; ++arg_idx) {
    char* end = nullptr;
    const long long limit = std::strtoll(limits, &end, 10);
    limits = *end == ',' ? end + 1 : end;
    if (limit > 0 && sqlite3_value_type(argv[arg_idx]) == SQLITE_TEXT &&
        sqlite3_value_bytes(argv[arg_idx]) > limit) {
      return false;
    }
  }
  return true;
}

void WithStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* rows = static_cast<std::int64_t*>(sqlite3_get_auxdata(ctx, 0));
  if (rows == nullptr) {
    sqlite3_set_auxdata(ctx, 0, new std::int64_t(0),
                        [](void* data) { delete static_cast<std::int64_t*>(data); });
    rows = static_cast<std::int64_t*>(sqlite3_get_auxdata(ctx, 0));
    if (rows == nullptr) return sqlite3_result_error_nomem(ctx);
  }
  if (++*rows > sqlite3_value_int64(argv[0])) {
    return ResultError(ctx, Ora(1652, "unable to extend temp segment by 128 in tablespace TEMP"));
  }
  if (sodium_init() < 0)
    return ResultError(ctx, Ora(600, "internal error code, arguments: [sodium_init]"));
  if (!Fits(argc, argv)) {
    return ResultError(ctx, Ora(1489, "result of string concatenation is too long"));
  }
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, kDigestBytes);
  for (int arg_idx = 3; arg_idx < argc; ++arg_idx) AddValue(&state, argv[arg_idx]);
  std::array<unsigned char, kDigestBytes> digest{};
  crypto_generichash_final(&state, digest.data(), digest.size());

  const auto* ancestry = static_cast<const unsigned char*>(sqlite3_value_blob(argv[1]));
  const std::size_t bytes =
      ancestry == nullptr ? 0 : static_cast<std::size_t>(sqlite3_value_bytes(argv[1]));
  for (std::size_t at = 0; at + kDigestBytes <= bytes; at += kDigestBytes) {
    if (std::memcmp(ancestry + at, digest.data(), kDigestBytes) == 0) {
      return ResultError(ctx, Ora(32044, "cycle detected while executing recursive WITH query"));
    }
  }
  const std::size_t kept = std::min(bytes, (kKeptAncestors - 1) * kDigestBytes);
  std::string passed;
  passed.reserve(kept + kDigestBytes);
  if (kept > 0) passed.append(reinterpret_cast<const char*>(ancestry + bytes - kept), kept);
  passed.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  sqlite3_result_blob64(ctx, passed.data(), passed.size(), SQLITE_TRANSIENT);
}

constexpr FunctionDef kRecursiveWithFunctions[] = {
    {"vk_with_step", 3, -1, false, WithStep},
};

}  // namespace

std::span<const FunctionDef> RecursiveWithFunctions() { return kRecursiveWithFunctions; }

}  // namespace volmek::engine::fn
