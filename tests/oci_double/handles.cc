#include "oci_double/handles.h"

#include <fmt/format.h>

namespace volmek::ocidouble {

Handle* CheckHandle(const void* pointer, ub4 type) {
  if (pointer == nullptr) return nullptr;
  auto* handle = static_cast<Handle*>(const_cast<void*>(pointer));
  if (handle->magic != kHandleMagic || handle->type != type) return nullptr;
  return handle;
}

std::string FormatOra(sb4 code, std::string_view text) {
  return fmt::format("ORA-{:05d}: {}", code, text);
}

std::string ToClient(const OCIEnv* env, std::string_view text) {
  if (!env->to_client.has_value()) return std::string(text);
  return env->to_client->ConvertReplacing(text, /*source_utf8=*/true);
}

std::string FromClient(const OCIEnv* env, std::string_view text) {
  if (!env->from_client.has_value()) return std::string(text);
  return env->from_client->ConvertReplacing(text, /*source_utf8=*/false);
}

void SetError(OCIError* err, sb4 code, const std::string& text) {
  err->records.assign(1, ErrorRecord{code, FormatOra(code, text)});
}

void SetOraText(OCIError* err, sb4 code, std::string_view ora_text) {
  err->records.assign(1, ErrorRecord{code, std::string(ora_text)});
}

}  // namespace volmek::ocidouble
