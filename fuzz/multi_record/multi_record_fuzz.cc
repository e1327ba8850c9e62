// Fuzz target: any bytes as the multi-record file of a copybook with redefinitions, read with
// the echo on, then the dump of the layout it completes. Either a message or a layout whose
// dump lists every control range, never a crash, a leak or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "copybook/layout.h"
#include "copybook/reader.h"

namespace {

// Two records, elementary and group redefinitions, an OCCURS table.
constexpr std::string_view kCopybook =
    "       01  REG.\n"
    "           05  TIPO         PIC X.\n"
    "           05  A            PIC X(4).\n"
    "           05  B REDEFINES A PIC 9(4).\n"
    "           05  G.\n"
    "               10  G1       PIC 99 OCCURS 3.\n"
    "           05  H REDEFINES G.\n"
    "               10  H1       PIC X.\n"
    "               10  H2       PIC X(5).\n"
    "       01  OTRO REDEFINES REG.\n"
    "           05  N            PIC S9(3) COMP-3.\n";

volmek::copybook::Layout BaseLayout() {
  volmek::Result<volmek::copybook::FieldTable> fields = volmek::copybook::ReadFields(kCopybook);
  if (!fields) __builtin_trap();
  volmek::Result<volmek::copybook::Layout> layout =
      volmek::copybook::LayOutFields(std::move(*fields));
  if (!layout) __builtin_trap();
  return std::move(*layout);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const volmek::copybook::Layout kBase = BaseLayout();
  volmek::copybook::Layout layout = kBase;
  std::istringstream in{std::string(reinterpret_cast<const char*>(data), size)};
  std::ostringstream out;
  if (!volmek::copybook::ReadMultiRecord(in, true, out, layout).ok()) return 0;
  // Entry numbers have two digits: a file cannot name more than a hundred entries.
  if (layout.redefinitions.size() > 100) __builtin_trap();
  // A control line can span ten thousand entries; the dump lists them all, keep it bounded.
  for (volmek::copybook::RedefinitionControl& control : layout.controls) {
    if (control.range_last - control.range_first > 200) {
      control.range_last = control.range_first + 200;
    }
  }
  const std::string dump = volmek::copybook::DumpText(layout);
  if (!dump.starts_with("Control de redefines")) __builtin_trap();
  return 0;
}
