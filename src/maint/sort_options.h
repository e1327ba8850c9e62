// The options of `sort`, read from its parameters joined with one blank after each.
//
//   -i1NAME or -i1 NAME   input table (-I1 alike)
//   -i2NAME or -i2 NAME   accepted and ignored (-I2 alike)
//   -oNAME or -o NAME     output table (-O alike; -orden and -omite are lists, not this option)
//   -orden W ...          the order list: key field names, DESC (upper case) after a name makes
//                         it descending; a comma is an entry of its own, skipped when written
//   -omite W ...          a condition: rows that meet it are left out
//   -incluye W ...        a condition: only rows that meet it are kept (-ORDEN, -OMITE and
//                         -INCLUYE alike)
//
// A list runs to the next word that begins with one of the three list keywords (in either
// case) or to the end, so an -i1 or -o written after a list belongs to the list. The words are
// those of the line tokenizer in option mode.
//
// Example: `-i1CLI -oCLIORD -orden NOMBRE DESC CODIGO -incluye TIPO='A'` copies the rows of CLI
// with TIPO = 'A' into CLIORD, whose key fields become NOMBRE (descending) and CODIGO.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace volmek::maint {

struct SortKey {
  std::string name;
  bool descending = false;
};

struct SortOptions {
  std::string input;
  std::string output;
  std::vector<SortKey> keys;  // in list order, "," entries included
  std::string include;        // the condition rebuilt, each word followed by one blank
  std::string omit;
};

// Reads the options of `line`. Fails (kInvalidInput) with "Argumento sort no tratado (%s) \n"
// for a word no option takes, and with "\nError sort. Se tiene que especificar fichero entrada
// y/o salida.\n\n" when the input or the output table is missing.
Result<SortOptions> ParseSortOptions(std::string_view line);

// Rebuilds a condition with one blank after each of its words. Quoted literals ('...', with ''
// inside) and double-quoted names stay whole, and the comparison operators <>, <=, >=, != and
// ^= stay one word even when written without blanks: A<>1 gives "A <> 1 ".
std::string RebuildCondition(std::string_view raw);

// "create table OUT as select * from IN", with " where (INCLUDE)", " where not (OMIT)" or
// " where (INCLUDE) and not (OMIT)" as the conditions given ask.
std::string SortCreateText(const SortOptions& options);
// The query of SortCreateText: "select * from IN" and the same conditions.
std::string SortSelectText(const SortOptions& options);

// Checks the names that go into statements: both tables and every key field (but ",") must
// be plain identifiers. Fails (kRefused) with a Spanish message.
Status CheckSortNames(const SortOptions& options);

}  // namespace volmek::maint
