// The block half of the PL/SQL parser: declarations and statements.
#include "engine/plsql/parser.h"

#include <fmt/format.h>

#include "engine/plsql/parser_impl.h"

namespace volmek::engine::plsql {
namespace {

bool IsSqlVerb(const Token& token) {
  for (std::string_view verb :
       {"INSERT", "UPDATE", "DELETE", "MERGE", "COMMIT", "ROLLBACK", "SAVEPOINT", "LOCK", "SET"}) {
    if (token.IsKeyword(verb)) return true;
  }
  return false;
}

bool IsDdlWord(const Token& token) {
  for (std::string_view verb : {"CREATE", "DROP", "ALTER", "TRUNCATE", "GRANT", "REVOKE", "RENAME",
                                "ANALYZE", "COMMENT", "PURGE"}) {
    if (token.IsKeyword(verb)) return true;
  }
  return false;
}

}  // namespace

bool IsSuppliedProcedure(const std::vector<std::string>& names) {
  if (names.size() == 1) return names[0] == "RAISE_APPLICATION_ERROR";
  if (names.size() != 2) return false;
  const std::string& package = names[0];
  const std::string& name = names[1];
  if (package == "DBMS_OUTPUT") {
    return name == "PUT_LINE" || name == "PUT" || name == "NEW_LINE" || name == "ENABLE" ||
           name == "DISABLE" || name == "GET_LINE";
  }
  if (package == "DBMS_STATS") {
    return name == "GATHER_TABLE_STATS" || name == "GATHER_SCHEMA_STATS";
  }
  if (package == "DBMS_LOCK" || package == "DBMS_SESSION") return name == "SLEEP";
  return false;
}

std::size_t MemberOffset(std::string_view text, std::size_t offset, std::size_t dots) {
  std::size_t at = offset;
  while (dots > 0 && at < text.size()) {
    if (text[at++] == '.') --dots;
  }
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n')) ++at;
  return at < text.size() ? at : offset;
}

int LineOf(std::string_view text, std::size_t offset) {
  int line = 1;
  for (std::size_t pos = 0; pos < offset && pos < text.size(); ++pos) {
    if (text[pos] == '\n') ++line;
  }
  return line;
}

OraError CompileError(std::string_view text, std::size_t offset, std::string_view message) {
  int line = 1;
  int column = 1;
  for (std::size_t pos = 0; pos < offset && pos < text.size(); ++pos) {
    if (text[pos] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return OraError{6550, fmt::format("ORA-06550: line {}, column {}:\n{}", line, column, message)};
}

bool HasHostVariable(std::string_view text, std::string_view name) {
  std::vector<Token> tokens;
  if (Tokenize(text, &tokens)) return false;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].IsSymbol(":") && tokens[i + 1].IsName() && tokens[i + 1].Value() == name) {
      return true;
    }
  }
  return false;
}

OraResult<std::unique_ptr<Block>> ParseBlock(std::string_view text) {
  std::vector<Token> tokens;
  if (std::optional<OraError> error = Tokenize(text, &tokens)) {
    return OraErr(std::move(*error));
  }
  Parser parser(text, tokens);
  return parser.ParseTop();
}

bool Parser::Accept(std::string_view keyword) {
  if (!Peek().IsKeyword(keyword)) return false;
  ++pos_;
  return true;
}

bool Parser::AcceptSymbol(std::string_view symbol) {
  if (!Peek().IsSymbol(symbol)) return false;
  ++pos_;
  return true;
}

OraStatus Parser::Expect(std::string_view keyword) {
  if (!Accept(keyword)) return OraErr(Encountered(Peek()));
  return {};
}

OraStatus Parser::ExpectSymbol(std::string_view symbol) {
  if (!AcceptSymbol(symbol)) return OraErr(Encountered(Peek()));
  return {};
}

OraResult<std::string> Parser::ExpectName() {
  if (!Peek().IsName()) return OraErr(Encountered(Peek()));
  return tokens_[pos_++].Value();
}

OraError Parser::Error(std::size_t offset, std::string_view message) const {
  return CompileError(text_, offset, message);
}

OraError Parser::Encountered(const Token& token) const {
  std::string symbol = token.IsEnd() ? "end-of-file" : UpperAscii(token.text);
  return Error(token.offset,
               fmt::format("PLS-00103: Encountered the symbol \"{}\" when expecting one of the "
                           "following:",
                           symbol));
}

OraError Parser::Unsupported(const Token& token, std::string_view what) const {
  return Error(token.offset,
               fmt::format("PLS-00999: implementation restriction (may be temporary) {}", what));
}

OraResult<std::unique_ptr<Block>> Parser::ParseTop() {
  std::string label;
  if (Peek().IsSymbol("<<")) {
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(label, ExpectName());
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(">>"));
  }
  if (Peek().IsKeyword("CREATE")) return OraErr(Unsupported(Peek(), "stored procedures"));
  VK_ASSIGN_OR_ORA_RETURN(std::unique_ptr<Block> block, ParseBlockBody(label));
  if (Peek().IsSymbol("/")) ++pos_;
  if (!Peek().IsEnd()) return OraErr(Encountered(Peek()));
  return block;
}

OraResult<std::unique_ptr<Block>> Parser::ParseBlockBody(std::string label) {
  if (++depth_ > kMaxNesting) {
    return OraErr(Error(Peek().offset, "PLS-00123: program too large (Diana nodes)"));
  }
  auto block = std::make_unique<Block>();
  block->label = std::move(label);
  block->offset = Peek().offset;
  if (Accept("DECLARE")) {
    VK_RETURN_IF_ORA_ERROR(ParseDeclarations(*block));
  }
  VK_RETURN_IF_ORA_ERROR(ParseBlockRest(*block));
  --depth_;
  return block;
}

OraStatus Parser::ParseBlockRest(Block& block_ref) {
  Block* block = &block_ref;
  VK_RETURN_IF_ORA_ERROR(Expect("BEGIN"));
  VK_ASSIGN_OR_ORA_RETURN(block->body, ParseStatements(false));
  if (Accept("EXCEPTION")) {
    while (Peek().IsKeyword("WHEN")) {
      Handler handler;
      handler.offset = Peek().offset;
      ++pos_;
      while (true) {
        VK_ASSIGN_OR_ORA_RETURN(std::string name, ExpectDottedName());
        if (name != "OTHERS") handler.names.push_back(std::move(name));
        if (!Accept("OR")) break;
      }
      VK_RETURN_IF_ORA_ERROR(Expect("THEN"));
      VK_ASSIGN_OR_ORA_RETURN(handler.body, ParseStatements(true));
      block->handlers.push_back(std::move(handler));
    }
    if (block->handlers.empty()) return OraErr(Encountered(Peek()));
  }
  block->end_offset = Peek().offset;
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  if (Peek().IsName()) ++pos_;
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol(";"));
  return {};
}

OraStatus Parser::ParseDeclarations(Block& block) {
  while (!Peek().IsKeyword("BEGIN") && !Peek().IsKeyword("END") && !Peek().IsEnd()) {
    const Token& start = Peek();
    Decl decl;
    decl.offset = start.offset;
    if (Accept("PRAGMA")) {
      if (!Accept("EXCEPTION_INIT")) return OraErr(Unsupported(Peek(), "this PRAGMA"));
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
      decl.kind = Decl::Kind::kPragma;
      VK_ASSIGN_OR_ORA_RETURN(decl.name, ExpectName());
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol(","));
      bool negative = AcceptSymbol("-");
      const Token& number = Peek();
      if (number.kind != TokenKind::kNumber) return OraErr(Encountered(number));
      ++pos_;
      OraResult<Decimal> code = Decimal::Parse(number.text);
      std::optional<std::int64_t> exact = code ? code->ToInt64Exact() : std::nullopt;
      if (!exact || *exact > 1000000) return OraErr(Encountered(number));
      decl.pragma_code = static_cast<int>(negative ? -*exact : *exact);
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    } else if (Accept("CURSOR")) {
      decl.kind = Decl::Kind::kCursor;
      VK_ASSIGN_OR_ORA_RETURN(decl.name, ExpectName());
      if (AcceptSymbol("(")) {
        while (true) {
          Field param;
          VK_ASSIGN_OR_ORA_RETURN(param.name, ExpectName());
          Accept("IN");
          VK_ASSIGN_OR_ORA_RETURN(param.type, ParseType());
          ExprPtr fallback;
          if (AcceptSymbol(":=") || Accept("DEFAULT")) {
            VK_ASSIGN_OR_ORA_RETURN(fallback, ParseExpr());
          }
          decl.fields.push_back(std::move(param));
          decl.param_defaults.push_back(std::move(fallback));
          if (AcceptSymbol(")")) break;
          VK_RETURN_IF_ORA_ERROR(ExpectSymbol(","));
        }
      }
      if (Accept("RETURN")) return OraErr(Unsupported(Peek(), "cursor RETURN types"));
      VK_RETURN_IF_ORA_ERROR(Expect("IS"));
      if (!Peek().IsKeyword("SELECT") && !Peek().IsKeyword("WITH") && !Peek().IsSymbol("(")) {
        return OraErr(Encountered(Peek()));
      }
      VK_ASSIGN_OR_ORA_RETURN(decl.query, ParseSqlText(nullptr));
    } else if (Accept("TYPE")) {
      decl.kind = Decl::Kind::kRecordType;
      VK_ASSIGN_OR_ORA_RETURN(decl.name, ExpectName());
      VK_RETURN_IF_ORA_ERROR(Expect("IS"));
      if (!Accept("RECORD")) return OraErr(Unsupported(Peek(), "collections and REF CURSORs"));
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
      while (true) {
        Field field;
        VK_ASSIGN_OR_ORA_RETURN(field.name, ExpectName());
        VK_ASSIGN_OR_ORA_RETURN(field.type, ParseType());
        if (Peek().IsKeyword("NOT") || Peek().IsSymbol(":=") || Peek().IsKeyword("DEFAULT")) {
          return OraErr(Unsupported(Peek(), "record fields with NOT NULL or defaults"));
        }
        decl.fields.push_back(std::move(field));
        if (AcceptSymbol(")")) break;
        VK_RETURN_IF_ORA_ERROR(ExpectSymbol(","));
      }
    } else if (start.IsKeyword("PROCEDURE") || start.IsKeyword("FUNCTION")) {
      decl.kind = Decl::Kind::kSubprogram;
      VK_ASSIGN_OR_ORA_RETURN(decl.subprogram, ParseSubprogram(false));
      decl.name = decl.subprogram->name;
      block.decls.push_back(std::move(decl));
      continue;
    } else if (start.IsKeyword("SUBTYPE")) {
      return OraErr(Unsupported(start, fmt::format("local {} declarations", start.Value())));
    } else {
      VK_ASSIGN_OR_ORA_RETURN(decl.name, ExpectName());
      if (Accept("EXCEPTION")) {
        decl.kind = Decl::Kind::kException;
      } else {
        decl.constant = Accept("CONSTANT");
        VK_ASSIGN_OR_ORA_RETURN(decl.type, ParseType());
        if (Accept("NOT")) {
          VK_RETURN_IF_ORA_ERROR(Expect("NULL"));
          decl.not_null = true;
        }
        if (AcceptSymbol(":=") || Accept("DEFAULT")) {
          VK_ASSIGN_OR_ORA_RETURN(decl.init, ParseExpr());
        } else if (decl.constant) {
          return OraErr(Error(start.offset, "PLS-00322: declaration of a constant '" + decl.name +
                                                "' must contain an initialization assignment"));
        } else if (decl.not_null) {
          return OraErr(Error(start.offset,
                              "PLS-00218: a variable declared NOT NULL must have an "
                              "initialization assignment"));
        }
      }
    }
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(";"));
    block.decls.push_back(std::move(decl));
  }
  return {};
}

OraResult<TypeSpec> Parser::ParseType(bool unconstrained) {
  TypeSpec spec;
  spec.offset = Peek().offset;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, ExpectName());
  std::vector<std::string> names{name};
  if (unconstrained && Peek().IsSymbol("(")) return OraErr(Encountered(Peek()));
  while (AcceptSymbol(".")) {
    VK_ASSIGN_OR_ORA_RETURN(std::string part, ExpectName());
    names.push_back(std::move(part));
  }
  if (AcceptSymbol("%")) {
    VK_ASSIGN_OR_ORA_RETURN(std::string attribute, ExpectName());
    if (attribute == "TYPE") {
      spec.kind = TypeSpec::Kind::kPercentType;
    } else if (attribute == "ROWTYPE") {
      spec.kind = TypeSpec::Kind::kPercentRowtype;
    } else {
      return OraErr(Encountered(tokens_[pos_ - 1]));
    }
    spec.ref = std::move(names);
    return spec;
  }
  if (names.size() > 2) return OraErr(Encountered(Peek()));
  if (names.size() == 2) {
    // A record type of a package.
    spec.kind = TypeSpec::Kind::kNamed;
    spec.ref = std::move(names);
    return spec;
  }
  auto length = [&](int fallback) -> OraResult<int> {
    if (!AcceptSymbol("(")) return fallback;
    const Token& number = Peek();
    std::optional<std::int64_t> value;
    if (number.kind == TokenKind::kNumber) {
      OraResult<Decimal> parsed = Decimal::Parse(number.text);
      if (parsed) value = parsed->ToInt64Exact();
    }
    if (!value || *value < 1 || *value > 32767) {
      return OraErr(Error(number.offset,
                          "PLS-00215: String length constraints must be in range (1 .. 32767)"));
    }
    ++pos_;
    if (!Accept("BYTE")) Accept("CHAR");
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    return static_cast<int>(*value);
  };
  PlType& type = spec.base;
  if (name == "NUMBER" || name == "DEC" || name == "DECIMAL" || name == "NUMERIC") {
    type.base = BaseType::kNumber;
    if (AcceptSymbol("(")) {
      auto integer = [&]() -> OraResult<int> {
        bool negative = AcceptSymbol("-");
        const Token& number = Peek();
        OraResult<Decimal> parsed = Decimal::Parse(number.text);
        std::optional<std::int64_t> value = parsed ? parsed->ToInt64Exact() : std::nullopt;
        if (number.kind != TokenKind::kNumber || !value || *value > 127) {
          return OraErr(Encountered(number));
        }
        ++pos_;
        return static_cast<int>(negative ? -*value : *value);
      };
      if (AcceptSymbol("*")) {
        type.precision = std::nullopt;
      } else {
        VK_ASSIGN_OR_ORA_RETURN(int precision, integer());
        if (precision < 1 || precision > 38) {
          return OraErr(Error(spec.offset,
                              "PLS-00216: NUMBER precision constraint must be in "
                              "range (1 .. 38)"));
        }
        type.precision = precision;
      }
      if (AcceptSymbol(",")) {
        VK_ASSIGN_OR_ORA_RETURN(int scale, integer());
        type.scale = scale;
      } else if (type.precision) {
        type.scale = 0;
      }
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    }
  } else if (name == "INTEGER" || name == "INT" || name == "SMALLINT") {
    type.base = BaseType::kNumber;
    type.precision = 38;
    type.scale = 0;
  } else if (name == "FLOAT" || name == "REAL") {
    type.base = BaseType::kNumber;
    if (AcceptSymbol("(")) {
      if (Peek().kind != TokenKind::kNumber) return OraErr(Encountered(Peek()));
      ++pos_;
      VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    }
  } else if (name == "PLS_INTEGER" || name == "BINARY_INTEGER" || name == "SIMPLE_INTEGER") {
    type.base = BaseType::kPlsInteger;
  } else if (name == "VARCHAR2" || name == "VARCHAR" || name == "STRING" || name == "NVARCHAR2") {
    type.base = BaseType::kVarchar2;
    if (unconstrained) return spec;
    if (!Peek().IsSymbol("(")) {
      return OraErr(Error(Peek().offset,
                          "PLS-00215: String length constraints must be in range (1 .. 32767)"));
    }
    VK_ASSIGN_OR_ORA_RETURN(type.length, length(0));
  } else if (name == "CHAR" || name == "CHARACTER" || name == "NCHAR") {
    type.base = BaseType::kChar;
    VK_ASSIGN_OR_ORA_RETURN(type.length, length(unconstrained ? 0 : 1));
  } else if (name == "LONG") {
    type.base = BaseType::kVarchar2;
    type.length = 32760;
  } else if (name == "DATE") {
    type.base = BaseType::kDate;
  } else if (name == "BOOLEAN") {
    type.base = BaseType::kBoolean;
  } else {
    spec.kind = TypeSpec::Kind::kNamed;
    spec.ref = std::move(names);
  }
  return spec;
}

OraResult<StmtList> Parser::ParseStatements(bool in_handler) {
  StmtList statements;
  while (!Peek().IsKeyword("END") && !Peek().IsKeyword("EXCEPTION") && !Peek().IsKeyword("ELSIF") &&
         !Peek().IsKeyword("ELSE") && !Peek().IsEnd() &&
         !(Peek().IsKeyword("WHEN") && (in_handler || !statements.empty()))) {
    VK_ASSIGN_OR_ORA_RETURN(StmtPtr statement, ParseStatement());
    statements.push_back(std::move(statement));
  }
  if (statements.empty()) return OraErr(Encountered(Peek()));
  return statements;
}

OraResult<StmtPtr> Parser::ParseStatement() {
  if (++depth_ > kMaxNesting) {
    return OraErr(Error(Peek().offset, "PLS-00123: program too large (Diana nodes)"));
  }
  std::string label;
  if (Peek().IsSymbol("<<")) {
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(label, ExpectName());
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(">>"));
  }
  const Token& token = Peek();
  auto statement = std::make_unique<Stmt>();
  statement->offset = token.offset;
  if (token.IsKeyword("BEGIN") || token.IsKeyword("DECLARE")) {
    statement->kind = Stmt::Kind::kBlock;
    VK_ASSIGN_OR_ORA_RETURN(statement->block, ParseBlockBody(label));
    --depth_;
    return statement;
  }
  if (token.IsKeyword("LOOP") || token.IsKeyword("WHILE")) {
    VK_ASSIGN_OR_ORA_RETURN(statement, ParseLoop(label));
  } else if (token.IsKeyword("FOR")) {
    VK_ASSIGN_OR_ORA_RETURN(statement, ParseFor(label));
  } else if (!label.empty()) {
    return OraErr(Unsupported(token, "labels on statements other than loops and blocks"));
  } else if (Accept("NULL")) {
    statement->kind = Stmt::Kind::kNull;
  } else if (token.IsKeyword("IF")) {
    VK_ASSIGN_OR_ORA_RETURN(statement, ParseIf());
  } else if (token.IsKeyword("CASE")) {
    VK_ASSIGN_OR_ORA_RETURN(statement, ParseCase());
  } else if (token.IsKeyword("EXIT") || token.IsKeyword("CONTINUE")) {
    if (loops_ == 0) {
      return OraErr(Error(token.offset,
                          "PLS-00376: illegal EXIT/CONTINUE statement; it must "
                          "appear inside a loop"));
    }
    statement->kind = Stmt::Kind::kExit;
    statement->op = token.Value();
    ++pos_;
    if (Peek().IsName() && !Peek().IsKeyword("WHEN")) statement->name = tokens_[pos_++].Value();
    if (Accept("WHEN")) {
      VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
    }
  } else if (token.IsKeyword("SELECT") || token.IsKeyword("WITH")) {
    statement->kind = Stmt::Kind::kSelectInto;
    VK_ASSIGN_OR_ORA_RETURN(statement->sql, ParseSqlText(&statement->into));
  } else if (IsSqlVerb(token)) {
    statement->kind = Stmt::Kind::kSql;
    VK_ASSIGN_OR_ORA_RETURN(statement->sql, ParseSqlText(nullptr));
  } else if (token.IsKeyword("EXECUTE")) {
    VK_ASSIGN_OR_ORA_RETURN(statement, ParseExecute());
  } else if (Accept("OPEN")) {
    statement->kind = Stmt::Kind::kOpen;
    VK_ASSIGN_OR_ORA_RETURN(statement->name, ExpectDottedName());
    if (Peek().IsKeyword("FOR")) return OraErr(Unsupported(Peek(), "OPEN FOR (cursor variables)"));
    if (Peek().IsSymbol("(")) {
      VK_ASSIGN_OR_ORA_RETURN(statement->args, ParseArgs());
    }
  } else if (Accept("FETCH")) {
    statement->kind = Stmt::Kind::kFetch;
    VK_ASSIGN_OR_ORA_RETURN(statement->name, ExpectDottedName());
    if (Peek().IsKeyword("BULK")) return OraErr(Unsupported(Peek(), "BULK COLLECT"));
    VK_RETURN_IF_ORA_ERROR(Expect("INTO"));
    VK_ASSIGN_OR_ORA_RETURN(statement->into, ParseIntoList());
  } else if (Accept("CLOSE")) {
    statement->kind = Stmt::Kind::kClose;
    VK_ASSIGN_OR_ORA_RETURN(statement->name, ExpectDottedName());
  } else if (Accept("RAISE")) {
    statement->kind = Stmt::Kind::kRaise;
    if (Peek().IsName()) {
      VK_ASSIGN_OR_ORA_RETURN(statement->name, ExpectName());
      while (AcceptSymbol(".")) {
        VK_ASSIGN_OR_ORA_RETURN(std::string part, ExpectName());
        statement->name += "." + part;
      }
    }
  } else if (Accept("RETURN")) {
    statement->kind = Stmt::Kind::kReturn;
    if (returns_ == 2) {
      if (Peek().IsSymbol(";")) {
        return OraErr(Error(token.offset,
                            "PLS-00503: RETURN <value> statement required for this return from "
                            "function"));
      }
      VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
    } else if (!Peek().IsSymbol(";")) {
      if (returns_ == 1) {
        return OraErr(Error(token.offset,
                            "PLS-00372: In a procedure, RETURN statement cannot contain an "
                            "expression"));
      }
      return OraErr(Encountered(Peek()));
    }
  } else if (token.IsKeyword("GOTO") || token.IsKeyword("FORALL") || token.IsKeyword("PIPE")) {
    return OraErr(Unsupported(token, fmt::format("{} statements", token.Value())));
  } else if (IsDdlWord(token)) {
    return OraErr(Encountered(token));
  } else if (token.IsName()) {
    VK_ASSIGN_OR_ORA_RETURN(statement, ParseNameStatement());
  } else if (token.IsSymbol(":") && Peek(1).IsName()) {
    // :host := value
    statement->kind = Stmt::Kind::kAssign;
    VK_ASSIGN_OR_ORA_RETURN(statement->target, ParsePrimary());
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(":="));
    VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
  } else {
    return OraErr(Encountered(token));
  }
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol(";"));
  --depth_;
  return statement;
}

OraResult<StmtPtr> Parser::ParseNameStatement() {
  auto statement = std::make_unique<Stmt>();
  statement->offset = Peek().offset;
  std::size_t start = pos_;
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr target, ParseNameExpr());
  if (AcceptSymbol(":=")) {
    if (target->kind != ExprKind::kName) return OraErr(Encountered(tokens_[start]));
    statement->kind = Stmt::Kind::kAssign;
    statement->target = std::move(target);
    VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
    return statement;
  }
  // A procedure call: name, name(args), package.procedure(args).
  if (target->kind == ExprKind::kSql) {
    // Re-read it as a call of ours: the interpreter knows the supplied procedures.
    pos_ = start;
    auto call = std::make_unique<Expr>();
    call->kind = ExprKind::kCall;
    call->offset = Peek().offset;
    VK_ASSIGN_OR_ORA_RETURN(std::string name, ExpectName());
    call->names.push_back(std::move(name));
    while (AcceptSymbol(".")) {
      VK_ASSIGN_OR_ORA_RETURN(std::string part, ExpectName());
      call->names.push_back(std::move(part));
    }
    VK_ASSIGN_OR_ORA_RETURN(call->args, ParseArgs());
    target = std::move(call);
  } else if (target->kind == ExprKind::kName) {
    target->kind = ExprKind::kCall;
  }
  if (target->kind != ExprKind::kCall) return OraErr(Encountered(Peek()));
  if (target->names.size() > 1 && target->names[0] == "SYS") {
    target->names.erase(target->names.begin());
  }
  statement->kind = Stmt::Kind::kCall;
  statement->value = std::move(target);
  return statement;
}

OraResult<std::vector<ExprPtr>> Parser::ParseIntoList() {
  std::vector<ExprPtr> targets;
  while (true) {
    bool host = Peek().IsSymbol(":") && Peek(1).IsName();
    if (!Peek().IsName() && !host) return OraErr(Encountered(Peek()));
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr target, host ? ParsePrimary() : ParseNameExpr());
    if (target->kind != ExprKind::kName) return OraErr(Encountered(Peek()));
    targets.push_back(std::move(target));
    if (!AcceptSymbol(",")) return targets;
  }
}

OraResult<StmtPtr> Parser::ParseIf() {
  auto statement = std::make_unique<Stmt>();
  statement->kind = Stmt::Kind::kIf;
  statement->offset = Peek().offset;
  VK_RETURN_IF_ORA_ERROR(Expect("IF"));
  do {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr cond, ParseExpr());
    VK_RETURN_IF_ORA_ERROR(Expect("THEN"));
    VK_ASSIGN_OR_ORA_RETURN(StmtList body, ParseStatements(false));
    statement->conds.push_back(std::move(cond));
    statement->bodies.push_back(std::move(body));
  } while (Accept("ELSIF"));
  if (Accept("ELSE")) {
    statement->has_else = true;
    VK_ASSIGN_OR_ORA_RETURN(statement->else_body, ParseStatements(false));
  }
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  VK_RETURN_IF_ORA_ERROR(Expect("IF"));
  return statement;
}

OraResult<StmtPtr> Parser::ParseCase() {
  auto statement = std::make_unique<Stmt>();
  statement->kind = Stmt::Kind::kCase;
  statement->offset = Peek().offset;
  VK_RETURN_IF_ORA_ERROR(Expect("CASE"));
  if (!Peek().IsKeyword("WHEN")) {
    VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
  }
  if (!Peek().IsKeyword("WHEN")) return OraErr(Encountered(Peek()));
  while (Accept("WHEN")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr cond, ParseExpr());
    VK_RETURN_IF_ORA_ERROR(Expect("THEN"));
    VK_ASSIGN_OR_ORA_RETURN(StmtList body, ParseStatements(false));
    statement->conds.push_back(std::move(cond));
    statement->bodies.push_back(std::move(body));
  }
  if (Accept("ELSE")) {
    statement->has_else = true;
    VK_ASSIGN_OR_ORA_RETURN(statement->else_body, ParseStatements(false));
  }
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  VK_RETURN_IF_ORA_ERROR(Expect("CASE"));
  if (Peek().IsName()) ++pos_;
  return statement;
}

OraResult<StmtPtr> Parser::ParseLoop(std::string label) {
  auto statement = std::make_unique<Stmt>();
  statement->offset = Peek().offset;
  statement->label = std::move(label);
  statement->kind = Stmt::Kind::kLoop;
  if (Accept("WHILE")) {
    statement->kind = Stmt::Kind::kWhile;
    VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
  }
  VK_RETURN_IF_ORA_ERROR(Expect("LOOP"));
  ++loops_;
  VK_ASSIGN_OR_ORA_RETURN(statement->body, ParseStatements(false));
  --loops_;
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  VK_RETURN_IF_ORA_ERROR(Expect("LOOP"));
  if (Peek().IsName()) ++pos_;
  return statement;
}

OraResult<StmtPtr> Parser::ParseFor(std::string label) {
  auto statement = std::make_unique<Stmt>();
  statement->offset = Peek().offset;
  statement->label = std::move(label);
  VK_RETURN_IF_ORA_ERROR(Expect("FOR"));
  VK_ASSIGN_OR_ORA_RETURN(statement->name, ExpectName());
  VK_RETURN_IF_ORA_ERROR(Expect("IN"));
  if (Peek().IsSymbol("(") && (Peek(1).IsKeyword("SELECT") || Peek(1).IsKeyword("WITH"))) {
    statement->kind = Stmt::Kind::kForCursor;
    ++pos_;
    std::size_t first = pos_;
    int nesting = 1;
    while (!Peek().IsEnd()) {
      if (Peek().IsSymbol("(")) ++nesting;
      if (Peek().IsSymbol(")") && --nesting == 0) break;
      ++pos_;
    }
    statement->sql = SqlFrom(first, pos_, true);
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
  } else if (Peek().IsName() && !Peek().IsKeyword("REVERSE") &&
             (Peek(1).IsKeyword("LOOP") || Peek(1).IsSymbol("(") ||
              (Peek(1).IsSymbol(".") && Peek(2).IsName() &&
               (Peek(3).IsKeyword("LOOP") || Peek(3).IsSymbol("("))))) {
    statement->kind = Stmt::Kind::kForCursor;
    VK_ASSIGN_OR_ORA_RETURN(statement->op, ExpectDottedName());
    if (Peek().IsSymbol("(")) {
      VK_ASSIGN_OR_ORA_RETURN(statement->args, ParseArgs());
    }
  } else {
    statement->kind = Stmt::Kind::kForRange;
    statement->reverse = Accept("REVERSE");
    VK_ASSIGN_OR_ORA_RETURN(statement->low, ParseExpr());
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(".."));
    VK_ASSIGN_OR_ORA_RETURN(statement->high, ParseExpr());
  }
  VK_RETURN_IF_ORA_ERROR(Expect("LOOP"));
  ++loops_;
  VK_ASSIGN_OR_ORA_RETURN(statement->body, ParseStatements(false));
  --loops_;
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  VK_RETURN_IF_ORA_ERROR(Expect("LOOP"));
  if (Peek().IsName()) ++pos_;
  return statement;
}

OraResult<StmtPtr> Parser::ParseExecute() {
  auto statement = std::make_unique<Stmt>();
  statement->kind = Stmt::Kind::kExecute;
  statement->offset = Peek().offset;
  VK_RETURN_IF_ORA_ERROR(Expect("EXECUTE"));
  VK_RETURN_IF_ORA_ERROR(Expect("IMMEDIATE"));
  VK_ASSIGN_OR_ORA_RETURN(statement->value, ParseExpr());
  if (Peek().IsKeyword("BULK")) return OraErr(Unsupported(Peek(), "BULK COLLECT"));
  if (Accept("INTO")) {
    VK_ASSIGN_OR_ORA_RETURN(statement->into, ParseIntoList());
  }
  if (Accept("USING")) {
    while (true) {
      if (Peek().IsKeyword("OUT")) return OraErr(Unsupported(Peek(), "OUT binds"));
      Accept("IN");
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr arg, ParseExpr());
      statement->args.push_back(std::move(arg));
      if (!AcceptSymbol(",")) break;
    }
  }
  if (Peek().IsKeyword("RETURNING")) return OraErr(Unsupported(Peek(), "RETURNING clauses"));
  return statement;
}

}  // namespace volmek::engine::plsql
