// Choosing among overloads (overloads.cc): for the interpreter as a call runs, and for the
// compiler's checks before a block or a unit runs. What it needs to know of the names an
// argument uses comes from a FamilySource, each its own view of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/plsql/ast.h"

namespace volmek::engine::plsql {

// The families of types by which overloads are told apart. kNull: the NULL literal, of every
// family; kUnknown: what cannot be known from here.
enum class TypeFamily { kUnknown, kNull, kNumber, kText, kDate, kBool, kRecord };

class FamilySource {
 public:
  virtual ~FamilySource() = default;
  // The family of the variable, parameter or record field `names`; nullopt when it is none.
  virtual std::optional<TypeFamily> VariableFamily(const std::vector<std::string>& names) = 0;
  // The procedures and functions `names` calls: the block's of that name, or a package's.
  virtual std::vector<const Subprogram*> Subprograms(const std::vector<std::string>& names) = 0;
  // The family of a parameter's or a function's declared type.
  TypeFamily FamilyOfType(const TypeSpec& type);

 protected:
  // The family of the column or the variable a %TYPE of two names or more names.
  virtual TypeFamily FamilyOfPercentType(const TypeSpec& type) = 0;
};

TypeFamily FamilyOfBase(BaseType base);
// The family of the value of `expr`, from its declarations, never from a value.
TypeFamily FamilyOfExpr(const Expr& expr, FamilySource& source);

// Of the procedures and functions `candidates` of one name, the index of the one `call`
// calls as a statement (`want_function` false) or in an expression: by the number and names
// of its arguments, then by their families. When none is of the kind wanted, 0 (the caller
// says so). Otherwise nullopt and `*problem`: PLS-00306 for none, PLS-00307 for several,
// PLS-00999 where the choice turns on what cannot be told as Oracle tells it.
std::optional<std::size_t> ChooseOverload(const std::vector<const Subprogram*>& candidates,
                                          const Expr& call, bool want_function,
                                          FamilySource& source, std::string* problem);

}  // namespace volmek::engine::plsql
