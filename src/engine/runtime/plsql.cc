#include "engine/runtime/plsql.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {
namespace {

struct Block;

struct Statement {
  enum class Kind { kNull, kSql, kExecuteImmediate, kBlock };
  Kind kind = Kind::kNull;
  std::string text;        // kSql: the statement; kExecuteImmediate: the string's value
  std::size_t offset = 0;  // where the statement starts in the block text
  std::shared_ptr<Block> block;
};

struct Handler {
  std::vector<int> codes;  // empty: WHEN OTHERS
  std::vector<Statement> body;
};

struct Block {
  std::vector<Statement> body;
  std::vector<Handler> handlers;
};

// "line L, column C" of byte `offset` in `text` (both from 1).
std::pair<int, int> LineAndColumn(std::string_view text, std::size_t offset) {
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
  return {line, column};
}

OraError CompileError(std::string_view text, std::size_t offset, std::string_view pls) {
  auto [line, column] = LineAndColumn(text, offset);
  return OraError{6550, fmt::format("ORA-06550: line {}, column {}:\n{}", line, column, pls)};
}

// The predefined exceptions a handler may name.
std::optional<int> ExceptionCode(std::string_view name) {
  if (name == "NO_DATA_FOUND") return 1403;
  if (name == "DUP_VAL_ON_INDEX") return 1;
  if (name == "ZERO_DIVIDE") return 1476;
  if (name == "INVALID_NUMBER") return 1722;
  if (name == "VALUE_ERROR") return 6502;
  if (name == "TOO_MANY_ROWS") return 1422;
  return std::nullopt;
}

class BlockParser {
 public:
  BlockParser(std::string_view sql, const std::vector<Token>& tokens)
      : sql_(sql), tokens_(tokens) {}

  OraResult<Block> Parse() {
    VK_ASSIGN_OR_ORA_RETURN(Block block, ParseBlock());
    if (!Peek().IsEnd()) return OraErr(Encountered(Peek()));
    return block;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }

  OraError Encountered(const Token& token) const {
    std::string symbol = token.IsEnd() ? "end-of-file" : std::string(token.text);
    return CompileError(sql_, token.offset,
                        fmt::format("PLS-00103: Encountered the symbol \"{}\" when expecting one "
                                    "of the following:",
                                    token.IsEnd() ? "end-of-file" : UpperAscii(symbol)));
  }

  OraError Unsupported(const Token& token, std::string_view what) const {
    return CompileError(
        sql_, token.offset,
        fmt::format("PLS-00999: implementation restriction (may be temporary) {}", what));
  }

  OraStatus ExpectSemicolon() {
    if (!Peek().IsSymbol(";")) return OraErr(Encountered(Peek()));
    ++pos_;
    return {};
  }

  OraResult<Block> ParseBlock() {
    const Token& start = Peek();
    if (start.IsKeyword("DECLARE")) return OraErr(Unsupported(start, "declarations"));
    if (!start.IsKeyword("BEGIN")) return OraErr(Encountered(start));
    ++pos_;
    Block block;
    VK_ASSIGN_OR_ORA_RETURN(block.body, ParseStatements());
    if (Peek().IsKeyword("EXCEPTION")) {
      ++pos_;
      while (Peek().IsKeyword("WHEN")) {
        ++pos_;
        Handler handler;
        while (true) {
          const Token& name = Peek();
          if (!name.IsName()) return OraErr(Encountered(name));
          ++pos_;
          std::string value = name.Value();
          if (value != "OTHERS") {
            std::optional<int> code = ExceptionCode(value);
            if (!code) {
              return OraErr(
                  CompileError(sql_, name.offset,
                               fmt::format("PLS-00201: identifier '{}' must be declared", value)));
            }
            handler.codes.push_back(*code);
          }
          if (!Peek().IsKeyword("OR")) break;
          ++pos_;
        }
        if (!Peek().IsKeyword("THEN")) return OraErr(Encountered(Peek()));
        ++pos_;
        VK_ASSIGN_OR_ORA_RETURN(handler.body, ParseStatements());
        block.handlers.push_back(std::move(handler));
      }
      if (block.handlers.empty()) return OraErr(Encountered(Peek()));
    }
    if (!Peek().IsKeyword("END")) return OraErr(Encountered(Peek()));
    ++pos_;
    if (Peek().kind == TokenKind::kIdentifier && !Peek().IsSymbol(";")) ++pos_;
    VK_RETURN_IF_ORA_ERROR(ExpectSemicolon());
    return block;
  }

  OraResult<std::vector<Statement>> ParseStatements() {
    std::vector<Statement> statements;
    while (!Peek().IsKeyword("END") && !Peek().IsKeyword("EXCEPTION") &&
           !Peek().IsKeyword("WHEN") && !Peek().IsEnd()) {
      VK_ASSIGN_OR_ORA_RETURN(Statement statement, ParseStatement());
      statements.push_back(std::move(statement));
    }
    if (statements.empty()) return OraErr(Encountered(Peek()));
    return statements;
  }

  // The text up to the ";" that ends a SQL statement.
  OraResult<std::string> SqlText() {
    std::size_t start = Peek().offset;
    std::size_t end = start;
    int depth = 0;
    while (!Peek().IsEnd() && !(depth == 0 && Peek().IsSymbol(";"))) {
      if (Peek().IsSymbol("(")) ++depth;
      if (Peek().IsSymbol(")")) --depth;
      end = Peek().offset + Peek().text.size();
      ++pos_;
    }
    VK_RETURN_IF_ORA_ERROR(ExpectSemicolon());
    return std::string(sql_.substr(start, end - start));
  }

  OraResult<Statement> ParseStatement() {
    const Token& token = Peek();
    Statement statement;
    statement.offset = token.offset;
    if (token.IsKeyword("NULL")) {
      ++pos_;
      VK_RETURN_IF_ORA_ERROR(ExpectSemicolon());
      return statement;
    }
    if (token.IsKeyword("BEGIN") || token.IsKeyword("DECLARE")) {
      VK_ASSIGN_OR_ORA_RETURN(Block block, ParseBlock());
      statement.kind = Statement::Kind::kBlock;
      statement.block = std::make_shared<Block>(std::move(block));
      return statement;
    }
    if (token.IsKeyword("EXECUTE")) {
      ++pos_;
      if (!Peek().IsKeyword("IMMEDIATE")) return OraErr(Encountered(Peek()));
      ++pos_;
      std::string text;
      while (true) {
        const Token& part = Peek();
        if (part.kind != TokenKind::kString) {
          return OraErr(Unsupported(part, "EXECUTE IMMEDIATE of anything but string literals"));
        }
        text += part.Value();
        ++pos_;
        if (!Peek().IsSymbol("||")) break;
        ++pos_;
      }
      if (Peek().IsKeyword("INTO") || Peek().IsKeyword("USING")) {
        return OraErr(Unsupported(Peek(), "EXECUTE IMMEDIATE with INTO or USING"));
      }
      VK_RETURN_IF_ORA_ERROR(ExpectSemicolon());
      statement.kind = Statement::Kind::kExecuteImmediate;
      statement.text = std::move(text);
      return statement;
    }
    if (token.IsKeyword("INSERT") || token.IsKeyword("UPDATE") || token.IsKeyword("DELETE") ||
        token.IsKeyword("COMMIT") || token.IsKeyword("ROLLBACK") || token.IsKeyword("SAVEPOINT") ||
        token.IsKeyword("SET") || token.IsKeyword("LOCK")) {
      statement.kind = Statement::Kind::kSql;
      VK_ASSIGN_OR_ORA_RETURN(statement.text, SqlText());
      return statement;
    }
    if (token.IsKeyword("SELECT")) {
      return OraErr(CompileError(sql_, token.offset,
                                 "PLS-00428: an INTO clause is expected in this SELECT statement"));
    }
    if (token.IsKeyword("IF") || token.IsKeyword("LOOP") || token.IsKeyword("FOR") ||
        token.IsKeyword("WHILE") || token.IsKeyword("RAISE") || token.IsKeyword("RETURN") ||
        token.IsKeyword("GOTO") || token.IsKeyword("CASE") || token.IsKeyword("EXIT")) {
      return OraErr(Unsupported(token, fmt::format("{} statements", token.Value())));
    }
    if (token.kind == TokenKind::kIdentifier && !Peek(1).IsSymbol(":=") &&
        !IsDdlWord(token.Value())) {
      return OraErr(CompileError(
          sql_, token.offset,
          fmt::format("PLS-00201: identifier '{}' must be declared\nORA-06550: line {}, column "
                      "{}:\nPL/SQL: Statement ignored",
                      token.Value(), LineAndColumn(sql_, token.offset).first,
                      LineAndColumn(sql_, token.offset).second)));
    }
    if (Peek(1).IsSymbol(":=")) return OraErr(Unsupported(token, "assignments"));
    return OraErr(Encountered(token));
  }

  static bool IsDdlWord(std::string_view word) {
    return word == "CREATE" || word == "DROP" || word == "ALTER" || word == "TRUNCATE" ||
           word == "GRANT" || word == "REVOKE" || word == "RENAME" || word == "ANALYZE";
  }

  std::string_view sql_;
  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
};

OraResult<Block> ParseBlockText(std::string_view sql) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(sql));
  BlockParser parser(sql, tokens);
  return parser.Parse();
}

// An error raised while the block runs, with the offset of the statement that raised it.
struct RunError {
  OraError error;
  std::size_t offset = 0;
};

class BlockRunner {
 public:
  BlockRunner(EngineConnection& connection, std::string_view sql)
      : connection_(connection), sql_(sql) {}

  std::optional<RunError> Run(const Block& block) {
    for (const Statement& statement : block.body) {
      std::optional<RunError> failure = RunStatement(statement);
      if (!failure) continue;
      for (const Handler& handler : block.handlers) {
        bool matches = handler.codes.empty() ||
                       std::find(handler.codes.begin(), handler.codes.end(), failure->error.code) !=
                           handler.codes.end();
        if (!matches) continue;
        for (const Statement& handled : handler.body) {
          if (std::optional<RunError> again = RunStatement(handled)) return again;
        }
        return std::nullopt;
      }
      return failure;
    }
    return std::nullopt;
  }

 private:
  std::optional<RunError> RunStatement(const Statement& statement) {
    switch (statement.kind) {
      case Statement::Kind::kNull:
        return std::nullopt;
      case Statement::Kind::kBlock:
        return Run(*statement.block);
      case Statement::Kind::kSql:
      case Statement::Kind::kExecuteImmediate: {
        EngineCursor cursor(&connection_);
        int rc = cursor.Parse(statement.text);
        if (rc == 0) rc = cursor.Execute();
        if (rc == 0) return std::nullopt;
        return RunError{OraError{rc, cursor.ErrorText()}, statement.offset};
      }
    }
    return std::nullopt;
  }

  EngineConnection& connection_;
  std::string_view sql_;
};

}  // namespace

OraStatus CheckBlock(std::string_view sql) {
  VK_RETURN_IF_ORA_ERROR(ParseBlockText(sql));
  return {};
}

OraStatus RunBlock(EngineConnection& connection, std::string_view sql) {
  VK_ASSIGN_OR_ORA_RETURN(Block block, ParseBlockText(sql));
  static constexpr std::string_view kSavepoint = "vk_plsql_block";
  VK_RETURN_IF_ORA_ERROR(connection.PushSavepoint(kSavepoint));
  BlockRunner runner(connection, sql);
  std::optional<RunError> failure = runner.Run(block);
  if (failure) {
    (void)connection.RollbackToSavepoint(kSavepoint);
    (void)connection.ReleaseSavepoint(kSavepoint);
    auto [line, column] = LineAndColumn(sql, failure->offset);
    (void)column;
    return OraErr(OraError{failure->error.code,
                           fmt::format("{}\nORA-06512: at line {}", failure->error.message, line)});
  }
  return connection.ReleaseSavepoint(kSavepoint);
}

}  // namespace volmek::engine
