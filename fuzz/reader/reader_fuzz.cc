// libFuzzer target: any bytes as a copybook, then as its multi-record file. Reading, layout,
// column planning, the create-table text, the XCAMPO rows, the trace and the dump must end in
// a value or a message, never in a crash, a leak or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "copybook/generation.h"
#include "copybook/layout.h"
#include "copybook/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace volmek::copybook;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  volmek::Result<FieldTable> fields = ReadFields(text);
  if (!fields) return 0;
  volmek::Result<Layout> layout = LayOutFields(std::move(*fields));
  if (!layout) return 0;
  std::istringstream multi_record{std::string(text)};
  std::ostringstream out;
  if (!ReadMultiRecord(multi_record, true, out, *layout).ok()) return 0;
  const std::string trace = TraceText(layout->fields);
  // The dump lists every entry of each control range: keep the output bounded.
  for (RedefinitionControl& control : layout->controls) {
    if (control.range_last - control.range_first > 1000) control.range_last = control.range_first;
  }
  const std::string dump = DumpText(*layout);
  volmek::Result<std::vector<Column>> columns = PlanColumns(layout->fields, "T");
  if (!columns) return 0;
  const std::string create = CreateTableText("T", *columns, layout->fields, "DATOS");
  for (std::size_t order = 0; order < columns->size(); ++order) {
    const std::string row = XcampoInsertText("T", order, (*columns)[order], layout->fields);
    if (row.empty()) __builtin_trap();
  }
  return 0;
}
