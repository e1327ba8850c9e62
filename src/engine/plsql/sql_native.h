// SQL expressions the interpreter computes itself (sql_native.cc): the tree of one value of an
// INSERT ... VALUES, read once from the statement, and the values it computes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/values/date.h"
#include "engine/values/number.h"

namespace volmek::engine::plsql {

// A value as SQL computes it: NULL, a number (an integer of 64 bits apart, which most are), a
// text ('' is NULL) or a date.
struct NativeValue {
  enum class Kind : std::uint8_t { kNull, kInteger, kNumber, kText, kDate };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  Decimal number;
  std::string text;
  Date date;
};

struct NativeNode {
  enum class Op : std::uint8_t {
    kConstant,  // `constant`
    kVariable,  // the block's variable `*names`
    kNegate,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
    kConcat,
    kMod,
    kLpad,
    kRpad,
    kToDate,
  };
  Op op = Op::kConstant;
  NativeValue constant;
  const std::vector<std::string>* names = nullptr;  // into the expression it was read from
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
  std::size_t slot = kNoSlot;  // kVariable: its place among the statement's variables
  std::vector<NativeNode> args;
  // What EvalNative last computed here for the node above it: kept from row to row, so that
  // computing a value allocates nothing once its texts have their size.
  NativeValue result;
};

}  // namespace volmek::engine::plsql
