// The PL/SQL parser's procedures and functions: those declared in a block and the stored ones
// CREATE PROCEDURE / CREATE FUNCTION keep.
#include <fmt/format.h>

#include "engine/plsql/parser.h"
#include "engine/plsql/parser_impl.h"

namespace volmek::engine::plsql {

OraResult<std::unique_ptr<Subprogram>> ParseUnit(std::string_view text) {
  std::vector<Token> tokens;
  if (std::optional<OraError> error = Tokenize(text, &tokens)) {
    return OraErr(std::move(*error));
  }
  Parser parser(text, tokens);
  VK_ASSIGN_OR_ORA_RETURN(std::unique_ptr<Subprogram> unit, parser.ParseSubprogram(true));
  if (parser.Peek().IsSymbol("/")) ++parser.pos_;
  if (!parser.Peek().IsEnd()) return OraErr(parser.Encountered(parser.Peek()));
  return unit;
}

namespace {

// Types alike for a heading: the same declared type, whatever its length or precision.
bool SameTypes(const TypeSpec& a, const TypeSpec& b) {
  if (a.kind != b.kind || a.ref != b.ref) return false;
  return a.kind != TypeSpec::Kind::kBase || a.base.base == b.base.base;
}

}  // namespace

bool SameHeading(const Subprogram& declared, const Subprogram& body) {
  if (declared.is_function != body.is_function || declared.params.size() != body.params.size()) {
    return false;
  }
  for (std::size_t i = 0; i < declared.params.size(); ++i) {
    const Param& a = declared.params[i];
    const Param& b = body.params[i];
    if (a.name != b.name || a.mode != b.mode || !SameTypes(a.type, b.type) ||
        (a.fallback == nullptr) != (b.fallback == nullptr)) {
      return false;
    }
  }
  return !declared.is_function || SameTypes(declared.return_type, body.return_type);
}

OraResult<std::unique_ptr<PackageUnit>> ParsePackage(std::string_view text) {
  std::vector<Token> tokens;
  if (std::optional<OraError> error = Tokenize(text, &tokens)) {
    return OraErr(std::move(*error));
  }
  Parser parser(text, tokens);
  VK_ASSIGN_OR_ORA_RETURN(std::unique_ptr<PackageUnit> unit, parser.ParsePackageUnit());
  if (parser.Peek().IsSymbol("/")) ++parser.pos_;
  if (!parser.Peek().IsEnd()) return OraErr(parser.Encountered(parser.Peek()));
  return unit;
}

OraResult<std::unique_ptr<PackageUnit>> Parser::ParsePackageUnit() {
  auto unit = std::make_unique<PackageUnit>();
  unit->offset = Peek().offset;
  VK_RETURN_IF_ORA_ERROR(Expect("PACKAGE"));
  unit->is_body = Accept("BODY");
  unit->name_offset = Peek().offset;
  VK_ASSIGN_OR_ORA_RETURN(unit->name, ExpectName());
  if (AcceptSymbol(".")) {
    // OWNER.NAME: only the own schema is kept, and the owner is dropped here.
    unit->name_offset = Peek().offset;
    VK_ASSIGN_OR_ORA_RETURN(unit->name, ExpectName());
  }
  if (!unit->is_body && Accept("AUTHID")) {
    if (!Accept("DEFINER") && !Accept("CURRENT_USER")) return OraErr(Encountered(Peek()));
  }
  if (!Accept("IS") && !Accept("AS")) return OraErr(Encountered(Peek()));
  Block& block = unit->block;
  block.offset = Peek().offset;
  in_spec_ = !unit->is_body;
  OraStatus parsed = ParseDeclarations(block);
  in_spec_ = false;
  if (!parsed.has_value()) return OraErr(parsed.error());
  if (unit->is_body && Peek().IsKeyword("BEGIN")) {
    // The initialisation: a procedure's rules for RETURN.
    returns_ = 1;
    VK_RETURN_IF_ORA_ERROR(ParseBlockRest(block));
    returns_ = 0;
    return unit;
  }
  block.end_offset = Peek().offset;
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  if (Peek().IsName()) ++pos_;
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol(";"));
  return unit;
}

OraResult<std::string> Parser::ExpectDottedName() {
  VK_ASSIGN_OR_ORA_RETURN(std::string name, ExpectName());
  if (Peek().IsSymbol(".") && Peek(1).IsName()) {
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(std::string member, ExpectName());
    name += "." + member;
  }
  return name;
}

OraResult<std::unique_ptr<Subprogram>> Parser::ParseSubprogram(bool stored) {
  if (++depth_ > kMaxNesting) {
    return OraErr(Error(Peek().offset, "PLS-00123: program too large (Diana nodes)"));
  }
  auto subprogram = std::make_unique<Subprogram>();
  subprogram->offset = Peek().offset;
  if (Accept("FUNCTION")) {
    subprogram->is_function = true;
  } else {
    VK_RETURN_IF_ORA_ERROR(Expect("PROCEDURE"));
  }
  subprogram->name_offset = Peek().offset;
  VK_ASSIGN_OR_ORA_RETURN(subprogram->name, ExpectName());
  if (stored && AcceptSymbol(".")) {
    // OWNER.NAME: only the own schema is kept, and the owner is dropped here.
    VK_ASSIGN_OR_ORA_RETURN(subprogram->name, ExpectName());
  }
  if (Peek().IsSymbol("(")) VK_RETURN_IF_ORA_ERROR(ParseParams(*subprogram));
  if (subprogram->is_function) {
    VK_RETURN_IF_ORA_ERROR(Expect("RETURN"));
    VK_ASSIGN_OR_ORA_RETURN(subprogram->return_type, ParseType(true));
    // Hints that change nothing here.
    while (Accept("DETERMINISTIC") || Accept("PARALLEL_ENABLE") || Accept("RESULT_CACHE")) {
    }
  }
  if (stored && Accept("AUTHID")) {
    if (!Accept("DEFINER") && !Accept("CURRENT_USER")) return OraErr(Encountered(Peek()));
  }
  if (!stored && Peek().IsSymbol(";")) {
    ++pos_;  // a forward declaration
    --depth_;
    return subprogram;
  }
  if (in_spec_) return OraErr(Encountered(Peek()));
  if (!Accept("IS") && !Accept("AS")) return OraErr(Encountered(Peek()));
  if (Peek().IsKeyword("LANGUAGE") || Peek().IsKeyword("EXTERNAL")) {
    return OraErr(Unsupported(Peek(), "external procedures"));
  }
  auto block = std::make_unique<Block>();
  block->offset = Peek().offset;
  const int saved_returns = returns_;
  const int saved_loops = loops_;
  returns_ = subprogram->is_function ? 2 : 1;
  loops_ = 0;
  OraStatus parsed = ParseDeclarations(*block);
  if (parsed.has_value()) parsed = ParseBlockRest(*block);
  returns_ = saved_returns;
  loops_ = saved_loops;
  if (!parsed.has_value()) return OraErr(parsed.error());
  subprogram->body = std::move(block);
  --depth_;
  return subprogram;
}

OraStatus Parser::ParseParams(Subprogram& subprogram) {
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
  while (true) {
    Param param;
    param.offset = Peek().offset;
    VK_ASSIGN_OR_ORA_RETURN(param.name, ExpectName());
    if (Accept("IN")) {
      if (Accept("OUT")) param.mode = Param::Mode::kInOut;
    } else if (Accept("OUT")) {
      param.mode = Param::Mode::kOut;
    }
    // NOCOPY asks for a reference instead of a copy; PL/SQL may ignore it, and this one does.
    if (param.mode != Param::Mode::kIn) Accept("NOCOPY");
    VK_ASSIGN_OR_ORA_RETURN(param.type, ParseType(true));
    if (AcceptSymbol(":=") || Accept("DEFAULT")) {
      if (param.mode != Param::Mode::kIn) {
        return OraErr(Error(param.offset,
                            "PLS-00230: OUT and IN OUT formal parameters may not have default "
                            "expressions"));
      }
      VK_ASSIGN_OR_ORA_RETURN(param.fallback, ParseExpr());
    }
    for (const Param& other : subprogram.params) {
      if (other.name == param.name) {
        return OraErr(Error(param.offset, fmt::format("PLS-00410: duplicate fields in RECORD, "
                                                      "TABLE or argument list are not permitted")));
      }
    }
    subprogram.params.push_back(std::move(param));
    if (AcceptSymbol(")")) return {};
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(","));
  }
}

}  // namespace volmek::engine::plsql
