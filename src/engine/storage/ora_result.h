// OraResult: how the engine's own functions report failure, as the Oracle error the cursor
// will carry.
#pragma once

#include <expected>
#include <utility>

#include "base/status.h"
#include "engine/storage/schema.h"

namespace volmek::engine {

template <typename T>
using OraResult = std::expected<T, OraError>;
using OraStatus = std::expected<void, OraError>;

inline std::unexpected<OraError> OraErr(OraError error) {
  return std::unexpected<OraError>(std::move(error));
}
inline std::unexpected<OraError> OraErr(int code, std::string_view text) {
  return std::unexpected<OraError>(Ora(code, text));
}

}  // namespace volmek::engine

// Returns from the enclosing function (returning OraResult or OraStatus) when `expr` failed.
#define VK_RETURN_IF_ORA_ERROR(expr)                                                             \
  do {                                                                                           \
    auto vk_status_ = (expr);                                                                    \
    if (!vk_status_.has_value()) return ::volmek::engine::OraErr(std::move(vk_status_).error()); \
  } while (false)

#define VK_ASSIGN_OR_ORA_RETURN(lhs, rexpr) \
  VK_ASSIGN_OR_ORA_RETURN_IMPL_(VOLMEK_CONCAT_(vk_result_, __LINE__), lhs, rexpr)
#define VK_ASSIGN_OR_ORA_RETURN_IMPL_(tmp, lhs, rexpr)                           \
  auto tmp = (rexpr);                                                            \
  if (!tmp.has_value()) return ::volmek::engine::OraErr(std::move(tmp).error()); \
  lhs = std::move(*tmp)
