// The PL/SQL parser: reads an anonymous block (DECLARE ... BEGIN ... EXCEPTION ... END;) into
// the tree of ast.h. Errors are Oracle's compilation errors: "ORA-06550: line L, column C:"
// followed by the PLS- error (PLS-00103 for an unexpected symbol, PLS-00999 for what this
// engine does not implement, PLS-00428 for a SELECT without INTO).
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "engine/plsql/ast.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine::plsql {

OraResult<std::unique_ptr<Block>> ParseBlock(std::string_view text);
// The text of a stored procedure or function, from its PROCEDURE or FUNCTION keyword on (as
// USER_SOURCE keeps it): "PROCEDURE p (a NUMBER) IS BEGIN ... END;".
OraResult<std::unique_ptr<Subprogram>> ParseUnit(std::string_view text);
// The text of a stored package or package body, from its PACKAGE keyword on.
OraResult<std::unique_ptr<PackageUnit>> ParsePackage(std::string_view text);

// Whether two declarations of a procedure or function have the same heading: the same kind,
// parameters (names, modes, types, defaults given or not) and return type. A package body's
// definition must have the heading of its declaration in the interface; declarations of
// one name with different headings are overloads.
bool SameHeading(const Subprogram& declared, const Subprogram& body);

// The procedures of PL/SQL itself and of its supplied packages that blocks may call:
// RAISE_APPLICATION_ERROR, DBMS_OUTPUT.PUT_LINE, ...
bool IsSuppliedProcedure(const std::vector<std::string>& names);

// "ORA-06550: line L, column C:\n<message>" for byte `offset` of `text`.
OraError CompileError(std::string_view text, std::size_t offset, std::string_view message);
// True when the block `text` names the host variable `name` (":NAME", upper case).
bool HasHostVariable(std::string_view text, std::string_view name);
// Where the last part of the name N1.N2...Nk (`dots` dots) that starts at `offset` of `text`
// starts.
std::size_t MemberOffset(std::string_view text, std::size_t offset, std::size_t dots);
// The line (from 1) of byte `offset` of `text`.
int LineOf(std::string_view text, std::size_t offset);

}  // namespace volmek::engine::plsql
