// The field layout: storage sizes, byte positions and redefinition extents of a field table.
//
// Sizes are those GnuCOBOL gives under -std=ibm:
//   display                 one byte per picture position (S takes none; SIGN ... SEPARATE one)
//   COMP, COMP-4, BINARY    2 bytes for 1-4 digits, 4 for 5-9, 8 for 10-18 (n bytes above 18)
//   COMP-5                  1 byte for 1-2 digits, then as COMP
//   COMP-3, PACKED-DECIMAL  digits / 2 + 1
//   COMP-1, COMP-2          4 and 8
// A group takes the bytes of its subordinates, each times its own OCCURS count; a REDEFINES
// entry lies over its target (a longer redefinition lengthens the group); a SYNCHRONIZED binary
// or floating item starts at a multiple of its size from the start of its record, the bytes
// skipped belonging to the group. Every 01 or 77 record starts at 0; entries before the first
// 01 form a record of their own. Positions are those of the first occurrence of every
// enclosing OCCURS.
//
// After the layout, `length` is the storage size of one occurrence (0 for a group, whose bytes
// are in `extent`) and `precision` the digit count (for an alphanumeric item its characters).
//
// The multi-record file <KORVEL>/copys/<copybook>.fr, when there is one, describes the record
// variants of a copybook; the layout keeps its lines beside the field table:
//
//   # comment
//   R0001000000002        control line: key 1, redefinition table entries 0 to 2
//   000010002CABECERA|    entry 0: values 1 and 2, name CABECERA (a final "|" is dropped)
//
// Control lines hold three numbers in columns 2-5, 6-9 and 10-13; other lines the entry number
// in columns 1-2, two numbers in columns 3-6 and 7-10 and the name in columns 11-45. Blank
// lines are passed over.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "base/environment.h"
#include "base/status.h"
#include "copybook/field.h"

namespace volmek::copybook {

// One entry of the redefinition table. The values and the name come from the multi-record
// file; the span from the field layout (the entries each redefinition covers).
struct Redefinition {
  std::int64_t first_value = -1;
  std::int64_t second_value = -1;
  std::string name;
  std::int64_t span_first = -1;
  std::int64_t span_last = -1;
};

// A control line of the multi-record file.
struct RedefinitionControl {
  std::int64_t key = -1;
  std::int64_t range_first = -1;
  std::int64_t range_last = -1;
};

struct Layout {
  FieldTable fields;
  std::vector<Redefinition> redefinitions;
  std::vector<RedefinitionControl> controls;
  std::int64_t record_length = 0;  // the longest record (`long_regis`)
};

// Sizes and places every entry of `fields` and works out the redefinition extents; fills
// layout.redefinitions with the spans. Fails with kInvalidInput when a size does not fit in 64
// bits ("El campo %s ocupa demasiados bytes.\n").
Result<Layout> LayOutFields(FieldTable fields);

// Reads the lines of a multi-record file into `layout`. With `echo` prints every line that is
// not a comment and what it gives. Fails on an entry number below 0 ("Linea %d del fichero
// multirregistro: numero de redefinicion %d no valido.\n").
Status ReadMultiRecord(std::istream& in, bool echo, std::ostream& out, Layout& layout);

// The whole field layout as creacpy runs it after reading copybook `copybook_name`: the
// layout, then the multi-record file (when it exists: "Multiregistros definidos ...\n", and
// with `echo` its lines), then, with `echo`, the trace and the dump. Fails with
// "Definir variable de entorno KORVEL.\n\n" when KORVEL is empty, or as above.
Result<Layout> RunFieldLayout(FieldTable fields, const Environment& env,
                              std::string_view copybook_name, bool echo, std::ostream& out);

// The trace of the layout steps: for each step its case and the last entry it handled.
//   caso 0: an elementary REDEFINES       caso 1: a group REDEFINES with its subordinates
//   caso 2: an OCCURS group (with a directly nested OCCURS group) and its subordinates
//   caso 3: any other entry
std::string TraceText(const FieldTable& fields);

// The dump: the control list with its redefinition entries, the redefinitions used, every
// field entry, and the record length.
std::string DumpText(const Layout& layout);

// The storage size of one occurrence of an elementary entry, by type, usage and digits.
std::int64_t StorageSize(const Field& field);

}  // namespace volmek::copybook
