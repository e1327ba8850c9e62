// The token-level pieces shared by the DDL statements: names, column types, column and
// table constraints, and the physical clauses (TABLESPACE, STORAGE (...), PCTFREE ...).
//
// Parsing only checks syntax and gives Oracle's syntax errors; whether a name or a tablespace
// exists is checked when the statement runs, after the implicit commit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/storage/ora_result.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {

// A CHECK or FOREIGN KEY constraint, at column or table level:
//   [CONSTRAINT n] CHECK (condition) [ENABLE | DISABLE]
//   [CONSTRAINT n] FOREIGN KEY (c, ...) REFERENCES t [(c, ...)] [ON DELETE CASCADE | SET NULL]
//   column ... [CONSTRAINT n] REFERENCES t [(c)] [ON DELETE ...]
struct RuleConstraint {
  enum class Kind { kCheck, kForeignKey };
  Kind kind = Kind::kCheck;
  std::optional<std::string> name;
  std::string condition;                    // CHECK: the condition as written
  std::vector<std::string> columns;         // FOREIGN KEY: the referencing columns
  std::string parent_table;                 // FOREIGN KEY: the referenced table
  std::vector<std::string> parent_columns;  // empty: the parent's primary key
  std::string delete_rule = "NO ACTION";    // or "CASCADE", "SET NULL"
  bool enabled = true;
};

// A column as CREATE TABLE / ALTER TABLE ADD or MODIFY declare it.
struct ColumnDefinition {
  std::string name;
  std::optional<SqlType> type;   // absent in MODIFY c NOT NULL
  std::optional<bool> nullable;  // NOT NULL / NULL, when written
  bool primary_key = false;      // column-level PRIMARY KEY
  bool unique = false;           // column-level UNIQUE
  std::optional<std::string> constraint_name;
  std::optional<std::string> default_text;  // the DEFAULT expression as written
  PhysicalAttributes index_attributes;      // USING INDEX of a column-level key
  std::vector<RuleConstraint> rules;        // column-level CHECK and REFERENCES
};

// PRIMARY KEY (...) or UNIQUE (...) at table level; or, when `rule` is set, a CHECK or
// FOREIGN KEY constraint (the other fields then unused).
struct KeyConstraint {
  bool primary = false;
  std::optional<std::string> name;
  std::vector<std::string> columns;
  PhysicalAttributes index_attributes;
  std::optional<RuleConstraint> rule;
};

class DdlParser {
 public:
  // REQUIRES: `sql` outlives the parser (tokens point into it).
  explicit DdlParser(std::string_view sql) : sql_(sql) {}
  OraStatus Tokenize();

  const Token& Peek(std::size_t ahead = 0) const;
  const Token& Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
  bool Accept(std::string_view keyword);
  bool AcceptSymbol(std::string_view symbol);
  OraStatus Expect(std::string_view keyword);  // ORA-00905 missing keyword
  OraStatus ExpectSymbol(std::string_view symbol);
  // After the last clause: ORA-00911 for ";", ORA-00933 for anything else.
  OraStatus ExpectEnd() const;
  bool AtEnd() const { return Peek().IsEnd(); }

  // An object or column name (upper-cased unless quoted). `error` is given when the token is
  // not a name, or is a reserved word.
  OraResult<std::string> Name(const OraError& error);
  // [owner.]name: the owner is accepted when it is `user`.
  OraResult<std::string> ObjectName(const OraError& error, std::string_view user);

  OraResult<SqlType> Type();
  OraResult<ColumnDefinition> Column(bool for_modify);
  // After CONSTRAINT name / at PRIMARY or UNIQUE.
  OraResult<KeyConstraint> Key(std::optional<std::string> name);
  // At CHECK, FOREIGN KEY or (for a column, named `column`) REFERENCES.
  OraResult<RuleConstraint> Rule(std::optional<std::string> name,
                                 std::optional<std::string> column);
  // ( a, b, ... ) of column names.
  OraResult<std::vector<std::string>> NameList(const OraError& error);

  // Any run of physical clauses; stops at the first token that is not one.
  OraStatus Physical(PhysicalAttributes* attributes, bool allow_using_index = false);
  // USING INDEX [physical]
  OraStatus UsingIndex(PhysicalAttributes* attributes);

  // A signed integer literal, with K/M/G suffixes when `sizes`.
  OraResult<std::int64_t> Integer(bool sizes = false);
  // A signed integer as canonical text (sequence bounds can exceed 64 bits).
  OraResult<std::string> IntegerText();

  // The statement text from token `index` to the end.
  std::string_view TextFrom(std::size_t index) const;
  // The text of the tokens [from, to).
  std::string_view TextBetween(std::size_t from, std::size_t to) const;
  std::size_t position() const { return pos_; }

 private:
  std::string_view sql_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

// True for Oracle's reserved words (they cannot name objects or columns unquoted).
bool IsReservedWord(std::string_view upper_word);

OraError MissingKeyword();
OraError InvalidIdentifier(std::string_view name);

}  // namespace volmek::engine
