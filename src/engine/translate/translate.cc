#include "engine/translate/translate.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <list>
#include <unordered_map>
#include <utility>

#include "engine/syntax/lexer.h"
#include "engine/syntax/parser.h"
#include "engine/translate/describe_infer.h"
#include "engine/translate/emitter.h"
#include "engine/values/number.h"

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

// Sets `*value` to ParameterValue(literal, source), reusing its text's storage. Strings
// without a doubled apostrophe are read here directly; numbers go through SetNumberParameter.
OraStatus SetParameterValue(const Token& literal, const ParameterSource& source, BindValue* value) {
  std::string_view text = literal.text;
  if (literal.kind == TokenKind::kNumber) return SetNumberParameter(text, source.negate, value);
  if (literal.kind == TokenKind::kString && !source.like && text.size() >= 2) {
    std::string_view inner = text.substr(1, text.size() - 2);
    if (inner.find('\'') == std::string_view::npos) {
      value->integer = 0;
      value->real = 0;
      if (inner.empty()) {
        value->kind = BindValue::Kind::kNull;
        value->text.clear();
      } else {
        value->kind = BindValue::Kind::kText;
        value->text.assign(inner);
      }
      return {};
    }
  }
  VK_ASSIGN_OR_ORA_RETURN(*value, ParameterValue(literal, source));
  return {};
}

OraResult<Translation> TranslateUncached(std::string_view sql, const std::vector<Token>& tokens,
                                         const SchemaLookup& schema,
                                         const TranslateOptions& options, EmitPlan* plan) {
  VK_ASSIGN_OR_ORA_RETURN(ast::Statement statement, ParseStatement(sql, tokens));
  return EmitStatement(sql, statement, schema, options, plan);
}

}  // namespace

OraStatus SetNumberParameter(std::string_view text, bool negate, BindValue* value) {
  // 18 digits always fit an INTEGER; 15 significant digits always survive a double.
  constexpr std::size_t kPlainIntegerDigits = 18;
  constexpr std::size_t kPlainDecimalText = 16;
  const bool digits_only =
      !text.empty() && text.size() <= kPlainIntegerDigits &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits_only) {
    std::int64_t integer = 0;
    for (char c : text) integer = integer * 10 + (c - '0');
    value->kind = BindValue::Kind::kInteger;
    value->integer = negate ? -integer : integer;
    value->real = 0;
    value->text.clear();
    return {};
  }
  if (text.size() <= kPlainDecimalText && text.find('.') != std::string_view::npos &&
      IsCanonicalNumberText(text)) {
    double real = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), real);
    if (ec == std::errc() && end == text.data() + text.size()) {
      value->kind = BindValue::Kind::kReal;
      value->integer = 0;
      value->real = negate ? -real : real;
      value->text.clear();
      return {};
    }
  }
  VK_ASSIGN_OR_ORA_RETURN(*value, NumberLiteral(text, negate));
  return {};
}

struct Translator::Cache {
  struct Entry {
    Translation translation;  // without parameter values
    std::vector<ParameterSource> parameters;
    std::vector<std::pair<int, std::string>> fixed;  // slot, literal as written
    // Per literal slot: held fixed, and the parameters it fills (for RebindLiterals).
    std::vector<bool> slot_fixed;
    std::vector<std::vector<std::size_t>> slot_parameters;
    std::list<std::string>::iterator recent;
    std::uint64_t shape = 0;
  };

  std::size_t max_shapes = 0;
  std::unordered_map<std::string, Entry> entries;
  std::unordered_map<std::uint64_t, Entry*> by_shape;  // the entries by their shape number
  std::list<std::string> recency;                      // most recently used first
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
  cache_->by_shape.clear();
  cache_->recency.clear();
}

std::size_t Translator::cached_shapes() const { return cache_->entries.size(); }

std::vector<std::size_t> Translator::LiteralOffsets() const {
  std::vector<std::size_t> offsets;
  offsets.reserve(cache_->literals.size());
  for (const Token* literal : cache_->literals) offsets.push_back(literal->offset);
  return offsets;
}

OraResult<bool> Translator::RebindLiterals(Translation* translation,
                                           std::span<const LiteralChange> changes,
                                           std::vector<std::size_t>* changed) {
  changed->clear();
  Cache& cache = *cache_;
  auto found = cache.by_shape.find(translation->shape);
  if (found == cache.by_shape.end()) return false;
  const Cache::Entry& entry = *found->second;
  if (translation->parameters.size() != entry.parameters.size()) return false;
  for (const LiteralChange& change : changes) {
    auto slot = static_cast<std::size_t>(change.slot);
    if (change.slot < 0 || slot >= entry.slot_fixed.size() || entry.slot_fixed[slot]) {
      return false;
    }
  }
  for (const LiteralChange& change : changes) {
    Token literal;
    literal.kind = change.is_string ? TokenKind::kString : TokenKind::kNumber;
    literal.text = change.text;
    for (std::size_t idx : entry.slot_parameters[static_cast<std::size_t>(change.slot)]) {
      VK_RETURN_IF_ORA_ERROR(
          SetParameterValue(literal, entry.parameters[idx], &translation->parameters[idx]));
      changed->push_back(idx);
    }
  }
  return true;
}

OraResult<Translation> Translator::Translate(std::string_view oracle_sql,
                                             const SchemaLookup& schema,
                                             const TranslateOptions& options) {
  Cache& cache = *cache_;
  if (options.inline_literals) {
    if (auto error = Tokenize(oracle_sql, &cache.tokens)) return OraErr(std::move(*error));
    EmitPlan plan;
    return TranslateUncached(oracle_sql, cache.tokens, schema, options, &plan);
  }
  Translation translation;
  VK_RETURN_IF_ORA_ERROR(TranslateInto(oracle_sql, schema, &translation));
  return translation;
}

OraStatus Translator::TranslateInto(std::string_view oracle_sql, const SchemaLookup& schema,
                                    Translation* out) {
  Cache& cache = *cache_;
  if (auto error = Tokenize(oracle_sql, &cache.tokens)) return OraErr(std::move(*error));
  BuildShape(cache.tokens, &cache.key, &cache.literals);
  // A statement of a known shape whose fixed literals match: only the parameters are new.
  auto hit = cache.entries.find(cache.key);
  if (hit != cache.entries.end() &&
      std::all_of(hit->second.fixed.begin(), hit->second.fixed.end(), [&](const auto& fixed) {
        return cache.literals[static_cast<std::size_t>(fixed.first)]->text == fixed.second;
      })) {
    Cache::Entry& entry = hit->second;
    cache.recency.splice(cache.recency.begin(), cache.recency, entry.recent);
    if (out->shape != entry.shape) {
      std::vector<BindValue> parameters = std::move(out->parameters);
      *out = entry.translation;
      out->parameters = std::move(parameters);
    }
    out->from_cache = true;
    out->parameters.resize(entry.parameters.size());
    for (std::size_t idx = 0; idx < entry.parameters.size(); ++idx) {
      const ParameterSource& source = entry.parameters[idx];
      VK_RETURN_IF_ORA_ERROR(SetParameterValue(
          *cache.literals[static_cast<std::size_t>(source.slot)], source, &out->parameters[idx]));
    }
    return {};
  }

  const TranslateOptions options;
  EmitPlan plan;
  VK_ASSIGN_OR_ORA_RETURN(Translation translation,
                          TranslateUncached(oracle_sql, cache.tokens, schema, options, &plan));
  Cache::Entry entry;
  // Numbered across every translator, so that a translation handed to another one is never
  // taken for one of its shapes.
  static std::atomic<std::uint64_t> last_shape{0};
  entry.shape = ++last_shape;
  translation.shape = entry.shape;
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
  entry.slot_fixed.assign(cache.literals.size(), false);
  entry.slot_parameters.assign(cache.literals.size(), {});
  for (std::size_t idx = 0; idx < entry.parameters.size(); ++idx) {
    entry.slot_parameters[static_cast<std::size_t>(entry.parameters[idx].slot)].push_back(idx);
  }
  for (std::size_t slot = 0; slot < cache.literals.size(); ++slot) {
    const bool fixed = std::binary_search(plan.fixed_slots.begin(), plan.fixed_slots.end(),
                                          static_cast<int>(slot));
    if (fixed || !bound[slot]) {
      entry.fixed.emplace_back(static_cast<int>(slot), std::string(cache.literals[slot]->text));
      entry.slot_fixed[slot] = true;
    }
  }
  // The key may stand for an entry whose fixed literals differ: this one takes its place.
  auto found = cache.entries.find(cache.key);
  if (found != cache.entries.end()) {
    cache.recency.erase(found->second.recent);
    cache.by_shape.erase(found->second.shape);
    cache.entries.erase(found);
  }
  while (cache.entries.size() >= cache.max_shapes) {
    auto oldest = cache.entries.find(cache.recency.back());
    cache.by_shape.erase(oldest->second.shape);
    cache.entries.erase(oldest);
    cache.recency.pop_back();
  }
  cache.recency.push_front(cache.key);
  entry.recent = cache.recency.begin();
  auto added = cache.entries.emplace(cache.key, std::move(entry)).first;
  cache.by_shape[added->second.shape] = &added->second;
  *out = std::move(translation);
  return {};
}

OraResult<Translation> Translate(std::string_view oracle_sql, const SchemaLookup& schema,
                                 const TranslateOptions& options) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(oracle_sql));
  EmitPlan plan;
  return TranslateUncached(oracle_sql, tokens, schema, options, &plan);
}

}  // namespace volmek::engine
