// The field table: one entry per data description entry of a copybook, in file order.
//
// The copybook reader (reader.h) fills the entries from the copybook's text; the field layout
// (layout.h) then completes them with storage sizes and byte positions, and the generation
// (generation.h) turns the elementary entries into table columns. Level-88 condition names and
// level-66 RENAMES entries take no storage and are not kept in the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace volmek::copybook {

// Usage codes as the record dictionary stores them: a blank for display, "0" for COMP and
// COMPUTATIONAL, "1" to "5" for COMP-1 to COMP-5. BINARY is kept as "4" and PACKED-DECIMAL as
// "3", the IBM synonyms they are.
inline constexpr char kUsageDisplay = ' ';
inline constexpr char kUsageComp = '0';
inline constexpr char kUsageComp1 = '1';
inline constexpr char kUsageComp2 = '2';
inline constexpr char kUsageComp3 = '3';
inline constexpr char kUsageComp4 = '4';
inline constexpr char kUsageComp5 = '5';

struct Field {
  std::string name;    // upper case, "-" as "_", IMP and MOD as K_IMP and K_MOD, FILLERn
  int level = 0;       // 1 to 49 or 77
  bool group = false;  // no picture and no usage that implies one: a group item
  char type = ' ';     // "A" alphanumeric picture (X or A in it), "N" any other, blank: none
  // As read: character positions of an alphanumeric picture, integer digits of a numeric one.
  // After the layout: the storage size of one occurrence in bytes (0 for a group).
  std::int64_t length = 0;
  std::int64_t precision = 0;  // digit count (set by the layout: digits read plus decimals)
  std::int64_t decimals = 0;   // digits after the implied or printed decimal point
  bool is_signed = false;      // S in the picture, or a printed sign (+ - CR DB)
  // The picture begins with "-": that printed sign position counts as one more digit in the
  // precision (the record dictionary's digit count), though not in COBOL's digits or size.
  bool leading_minus = false;
  char usage = kUsageDisplay;   // kUsage...
  std::int64_t position = 0;    // byte offset of the first occurrence from its record's start
  std::int64_t occurs = 0;      // OCCURS count (the maximum of "m TO n"); 0 when none
  std::int64_t redefines = -1;  // index of the entry named by REDEFINES, -1 when none

  // Redefinition extents, shown by the dump (see layout.h); -1 when not part of one.
  std::int64_t redefinition_size = -1;
  std::int64_t largest_redefinition = -1;
  std::int64_t last_redefinition_end = -1;
  std::int64_t span_first = -1;
  std::int64_t span_last = -1;

  // What the reader knows beyond the classic entry, for COBOL's sizes.
  std::int64_t display_size = 0;  // character positions of the picture (edited symbols count)
  bool has_picture = false;
  bool sign_separate = false;  // SIGN ... SEPARATE: the sign takes a byte of its own
  bool sync = false;           // SYNCHRONIZED: aligned binary or floating item
  bool is_float = false;       // COMP-1 or COMP-2
  int parent = -1;             // index of the group the entry belongs to, -1 at the top
  std::int64_t line = 0;       // copybook line (from 1) where the entry begins

  // Set by the layout: bytes of one occurrence, groups included (a group's slack bytes and
  // largest redefinitions counted).
  std::int64_t extent = 0;
};

using FieldTable = std::vector<Field>;

// The entry's own occurs count as a multiplier: 1 when it has none.
inline std::int64_t Repeats(const Field& field) { return field.occurs > 0 ? field.occurs : 1; }

// The index one past the last subordinate of entry `index` (entries below it with a greater
// level number).
std::size_t SubordinatesEnd(const FieldTable& fields, std::size_t index);

}  // namespace volmek::copybook
