#include "engine/translate.h"

#include <algorithm>
#include <list>
#include <unordered_map>
#include <utility>

#include "engine/describe_infer.h"
#include "engine/emitter.h"
#include "engine/lexer.h"
#include "engine/parser.h"

namespace volmek::engine {
namespace {

// Markers standing for literals in a shape key; they cannot occur in SQL tokens.
constexpr char kStringMarker = '\x01';
constexpr char kNumberMarker = '\x02';
constexpr char kSeparator = '\x1f';

// The shape of a statement: its tokens with each literal replaced by a marker of its kind,
// unquoted names and keywords upper-cased. Fills `literals` with the literal tokens in order.
void BuildShape(const std::vector<Token>& tokens, std::string* key,
                std::vector<const Token*>* literals) {
  key->clear();
  literals->clear();
  for (const Token& token : tokens) {
    switch (token.kind) {
      case TokenKind::kString:
        key->push_back(kStringMarker);
        literals->push_back(&token);
        break;
      case TokenKind::kNumber:
        key->push_back(kNumberMarker);
        literals->push_back(&token);
        break;
      case TokenKind::kIdentifier:
        for (char c : token.text) {
          key->push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        }
        break;
      case TokenKind::kEnd:
        break;
      default:
        key->append(token.text);
        break;
    }
    key->push_back(kSeparator);
  }
}

OraResult<BindValue> ParameterValue(const Token& literal, const ParameterSource& source) {
  if (literal.kind == TokenKind::kNumber) return NumberLiteral(literal.text, source.negate);
  if (source.like) {
    VK_ASSIGN_OR_ORA_RETURN(std::string glob, LikePatternToGlob(literal.Value(), source.escape));
    return StringLiteral(std::move(glob));
  }
  return StringLiteral(literal.Value());
}

OraResult<Translation> TranslateUncached(std::string_view sql, const std::vector<Token>& tokens,
                                         const SchemaLookup& schema,
                                         const TranslateOptions& options, EmitPlan* plan) {
  VK_ASSIGN_OR_ORA_RETURN(ast::Statement statement, ParseStatement(sql, tokens));
  return EmitStatement(sql, statement, schema, options, plan);
}

}  // namespace

struct Translator::Cache {
  struct Entry {
    Translation translation;  // without parameter values
    std::vector<ParameterSource> parameters;
    std::vector<std::pair<int, std::string>> fixed;  // slot, literal as written
    std::list<std::string>::iterator recent;
  };

  std::size_t max_shapes = 0;
  std::unordered_map<std::string, Entry> entries;
  std::list<std::string> recency;  // most recently used first
  // Scratch storage reused from statement to statement.
  std::vector<Token> tokens;
  std::vector<const Token*> literals;
  std::string key;
};

Translator::Translator(std::size_t max_shapes) : cache_(std::make_unique<Cache>()) {
  cache_->max_shapes = std::max<std::size_t>(max_shapes, 1);
}
Translator::~Translator() = default;
Translator::Translator(Translator&&) noexcept = default;
Translator& Translator::operator=(Translator&&) noexcept = default;

void Translator::ForgetShapes() {
  cache_->entries.clear();
  cache_->recency.clear();
}

std::size_t Translator::cached_shapes() const { return cache_->entries.size(); }

OraResult<Translation> Translator::Translate(std::string_view oracle_sql,
                                             const SchemaLookup& schema,
                                             const TranslateOptions& options) {
  Cache& cache = *cache_;
  if (auto error = Tokenize(oracle_sql, &cache.tokens)) return OraErr(std::move(*error));
  if (options.inline_literals) {
    EmitPlan plan;
    return TranslateUncached(oracle_sql, cache.tokens, schema, options, &plan);
  }
  BuildShape(cache.tokens, &cache.key, &cache.literals);
  auto found = cache.entries.find(cache.key);
  if (found != cache.entries.end()) {
    Cache::Entry& entry = found->second;
    bool same = true;
    for (const auto& [slot, text] : entry.fixed) {
      if (cache.literals[static_cast<std::size_t>(slot)]->text != text) {
        same = false;
        break;
      }
    }
    if (same) {
      Translation translation = entry.translation;
      translation.from_cache = true;
      translation.parameters.reserve(entry.parameters.size());
      for (const ParameterSource& source : entry.parameters) {
        VK_ASSIGN_OR_ORA_RETURN(
            BindValue value,
            ParameterValue(*cache.literals[static_cast<std::size_t>(source.slot)], source));
        translation.parameters.push_back(std::move(value));
      }
      cache.recency.splice(cache.recency.begin(), cache.recency, entry.recent);
      return translation;
    }
  }

  EmitPlan plan;
  VK_ASSIGN_OR_ORA_RETURN(Translation translation,
                          TranslateUncached(oracle_sql, cache.tokens, schema, options, &plan));
  Cache::Entry entry;
  entry.translation = translation;
  entry.translation.parameters.clear();
  entry.parameters = std::move(plan.parameters);
  std::sort(plan.fixed_slots.begin(), plan.fixed_slots.end());
  plan.fixed_slots.erase(std::unique(plan.fixed_slots.begin(), plan.fixed_slots.end()),
                         plan.fixed_slots.end());
  // A literal that is neither a parameter nor written into the text (none should be) is held
  // fixed, so that a statement differing in it is translated afresh.
  std::vector<bool> bound(cache.literals.size(), false);
  for (const ParameterSource& source : entry.parameters) {
    bound[static_cast<std::size_t>(source.slot)] = true;
  }
  for (std::size_t slot = 0; slot < cache.literals.size(); ++slot) {
    const bool fixed = std::binary_search(plan.fixed_slots.begin(), plan.fixed_slots.end(),
                                          static_cast<int>(slot));
    if (fixed || !bound[slot])
      entry.fixed.emplace_back(static_cast<int>(slot), std::string(cache.literals[slot]->text));
  }
  if (found != cache.entries.end()) {
    cache.recency.erase(found->second.recent);
    cache.entries.erase(found);
  }
  while (cache.entries.size() >= cache.max_shapes) {
    cache.entries.erase(cache.recency.back());
    cache.recency.pop_back();
  }
  cache.recency.push_front(cache.key);
  entry.recent = cache.recency.begin();
  cache.entries.emplace(cache.key, std::move(entry));
  return translation;
}

OraResult<Translation> Translate(std::string_view oracle_sql, const SchemaLookup& schema,
                                 const TranslateOptions& options) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(oracle_sql));
  EmitPlan plan;
  return TranslateUncached(oracle_sql, tokens, schema, options, &plan);
}

}  // namespace volmek::engine
