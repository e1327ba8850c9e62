// The PL/SQL parser: reads an anonymous block (DECLARE ... BEGIN ... EXCEPTION ... END;) into
// the tree of ast.h. Errors are Oracle's compilation errors: "ORA-06550: line L, column C:"
// followed by the PLS- error (PLS-00103 for an unexpected symbol, PLS-00999 for what this
// engine does not implement, PLS-00428 for a SELECT without INTO).
#pragma once

#include <memory>
#include <string_view>

#include "engine/plsql/ast.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine::plsql {

OraResult<std::unique_ptr<Block>> ParseBlock(std::string_view text);

// "ORA-06550: line L, column C:\n<message>" for byte `offset` of `text`.
OraError CompileError(std::string_view text, std::size_t offset, std::string_view message);
// The line (from 1) of byte `offset` of `text`.
int LineOf(std::string_view text, std::size_t offset);

}  // namespace volmek::engine::plsql
