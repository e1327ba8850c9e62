#include "engine/functions/icu_library.h"

#include <dlfcn.h>
#include <fmt/format.h>
#include <unicode/uchar.h>
#include <unicode/uvernum.h>

#include <optional>

namespace volmek::engine::fn {
namespace {

// The exported name of an ICU function: the headers rename each one with the version suffix
// (u_toupper is u_toupper_72), so the name is the macro's expansion as a string.
#define VK_ICU_NAME_OF(function) VK_ICU_STRING(function)
#define VK_ICU_STRING(name) #name

struct Loaded {
  IcuLibrary library{};
  std::string error;  // empty when `library` is whole
};

template <typename Pointer>
bool Bind(void* handle, const char* name, Pointer* out, std::string* error) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    *error = fmt::format("{} no esta en ICU", name);
    return false;
  }
  *out = reinterpret_cast<Pointer>(symbol);
  return true;
}

Loaded Load() {
  Loaded loaded;
  const std::string common_name = fmt::format("libicuuc.so.{}", U_ICU_VERSION_MAJOR_NUM);
  const std::string i18n_name = fmt::format("libicui18n.so.{}", U_ICU_VERSION_MAJOR_NUM);
  // Never closed: the library stays for the life of the process, as a linked one would.
  void* common = dlopen(common_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  void* i18n = common == nullptr ? nullptr : dlopen(i18n_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (common == nullptr || i18n == nullptr) {
    const char* reason = dlerror();
    loaded.error = reason != nullptr ? reason : "dlopen";
    return loaded;
  }
  IcuLibrary& icu = loaded.library;
  std::string* error = &loaded.error;
  // The first function missing stops the binding and is named in `error`.
  (void)(Bind(common, VK_ICU_NAME_OF(u_toupper), &icu.to_upper, error) &&
         Bind(common, VK_ICU_NAME_OF(u_tolower), &icu.to_lower, error) &&
         Bind(common, VK_ICU_NAME_OF(u_isalnum), &icu.is_alnum, error) &&
         Bind(common, VK_ICU_NAME_OF(utext_openUTF8), &icu.text_open_utf8, error) &&
         Bind(common, VK_ICU_NAME_OF(utext_close), &icu.text_close, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_openUText), &icu.regex_open_utext, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_close), &icu.regex_close, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_setText), &icu.regex_set_text, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_setUText), &icu.regex_set_utext, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_reset64), &icu.regex_reset64, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_findNext), &icu.regex_find_next, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_groupCount), &icu.regex_group_count, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_start64), &icu.regex_start64, error) &&
         Bind(i18n, VK_ICU_NAME_OF(uregex_end64), &icu.regex_end64, error));
  return loaded;
}

}  // namespace

const IcuLibrary* Icu(std::string* why) {
  static const Loaded loaded = Load();
  if (!loaded.error.empty()) {
    if (why != nullptr) *why = loaded.error;
    return nullptr;
  }
  return &loaded.library;
}

}  // namespace volmek::engine::fn
