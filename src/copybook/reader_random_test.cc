// Bounded random inputs for the reader and the layout (run under the sanitizers by
// `make sanitize`): copybook-like lines made of COBOL words, and raw bytes. Every input ends in
// a message or in a layout whose every entry lies inside its group and its record.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "copybook/generation.h"
#include "copybook/layout.h"
#include "copybook/reader.h"

namespace volmek::copybook {
namespace {

constexpr int kInputs = 1500;

const std::vector<std::string> kWords = {
    "01",       "05",        "10",       "15",          "77",
    "88",       "66",        "A",        "B-C",         "FILLER",
    "IMP",      "PIC",       "PICTURE",  "X(3)",        "9(4)",
    "S9(7)V99", "ZZ,ZZ9.99", "-9(5)",    "V99",         "X(",
    "9(0)",     "COMP",      "COMP-1",   "COMP-2",      "COMP-3",
    "COMP-5",   "BINARY",    "USAGE",    "IS",          "OCCURS",
    "2",        "3",         "TIMES",    "TO",          "DEPENDING",
    "ON",       "REDEFINES", "VALUE",    "'A. B'",      "ZERO",
    "SIGN",     "LEADING",   "SEPARATE", "SYNC",        "JUSTIFIED",
    "BLANK",    "WHEN",      ".",        ".",           ".",
    "\"Q\"",    "*>",        "THRU",     "99999999999", "PACKED-DECIMAL",
};

std::string RandomCopybook(std::mt19937& random) {
  std::uniform_int_distribution<int> lines(0, 25);
  std::uniform_int_distribution<int> words(0, 9);
  std::uniform_int_distribution<std::size_t> word(0, kWords.size() - 1);
  std::uniform_int_distribution<int> indicator(0, 12);
  std::string text;
  const int line_count = lines(random);
  for (int line_idx = 0; line_idx < line_count; ++line_idx) {
    const int kind = indicator(random);
    text += kind == 0 ? "      *" : kind == 1 ? "      -" : kind == 2 ? "000100 " : "       ";
    const int word_count = words(random);
    for (int word_idx = 0; word_idx < word_count; ++word_idx) {
      text += kWords[word(random)];
      text += ' ';
    }
    text += kind == 3 ? "\r\n" : "\n";
  }
  return text;
}

std::string RandomBytes(std::mt19937& random) {
  std::uniform_int_distribution<int> length(0, 300);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text(length(random), '\0');
  for (char& c : text) c = static_cast<char>(byte(random));
  return text;
}

// Every entry lies inside the group that holds it.
void ExpectNested(const Layout& layout) {
  const FieldTable& fields = layout.fields;
  for (const Field& field : fields) {
    ASSERT_GE(field.position, 0) << field.name;
    ASSERT_GE(field.extent, 0) << field.name;
    if (!field.group) {
      ASSERT_EQ(field.extent, field.length) << field.name;
    }
    if (field.parent < 0) continue;
    const Field& parent = fields[field.parent];
    ASSERT_GE(field.position, parent.position) << field.name;
    ASSERT_LE(field.position + field.extent * Repeats(field), parent.position + parent.extent)
        << field.name;
  }
  for (const Field& field : fields) {
    if (field.parent < 0) {
      ASSERT_LE(field.position + field.extent * Repeats(field), layout.record_length) << field.name;
    }
  }
}

void Check(const std::string& text) {
  Result<FieldTable> fields = ReadFields(text);
  if (!fields) {
    ASSERT_FALSE(fields.error().message().empty());
    ASSERT_EQ(fields.error().message().back(), '\n');
    return;
  }
  Result<Layout> layout = LayOutFields(std::move(*fields));
  if (!layout) return;
  ExpectNested(*layout);
  (void)DumpText(*layout);
  (void)TraceText(layout->fields);
  Result<std::vector<Column>> columns = PlanColumns(layout->fields, "T");
  if (!columns) return;
  (void)CreateTableText("T", *columns, layout->fields, "");
}

TEST(ReaderRandomInput, CopybookLikeLinesEndInAMessageOrANestedLayout) {
  std::mt19937 random(20261208);
  for (int input_idx = 0; input_idx < kInputs; ++input_idx) {
    const std::string text = RandomCopybook(random);
    SCOPED_TRACE(text);
    Check(text);
    if (HasFatalFailure()) return;
  }
}

TEST(ReaderRandomInput, RawBytesEndInAMessageOrALayout) {
  std::mt19937 random(7);
  for (int input_idx = 0; input_idx < kInputs; ++input_idx) {
    Check(RandomBytes(random));
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace volmek::copybook
