#include "db/oci/library.h"

#include <dlfcn.h>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace volmek::db::oci {

namespace {

constexpr std::string_view kLibraryName = "libclntsh.so";
constexpr std::string_view kVersionedNames[] = {"libclntsh.so.23.1", "libclntsh.so.21.1",
                                                "libclntsh.so.19.1"};

std::string GetEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string LastDlError() {
  const char* error = dlerror();
  return error != nullptr ? error : "error desconocido";
}

// True when dlopen's failure for `candidate` says only that the candidate itself is not there
// (as opposed to a library that is there but cannot be loaded, e.g. for a missing dependency).
bool IsNotFound(std::string_view candidate, std::string_view error) {
  if (candidate.find('/') != std::string_view::npos) {
    std::error_code ignored;
    return !std::filesystem::exists(std::filesystem::path(candidate), ignored);
  }
  return error.starts_with(fmt::format("{}: cannot open shared object file", candidate));
}

// Looks `name` up in `library` and stores it in `slot`; the error line when it is missing.
template <typename Fn>
std::optional<std::string> Resolve(void* library, const char* name, const std::string& path,
                                   Fn* slot) {
  dlerror();
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    return fmt::format("{} no tiene la funcion {} ({})", path, name, LastDlError());
  }
  *slot = reinterpret_cast<Fn>(symbol);
  return std::nullopt;
}

// Fills `api` from `library`; the failure line of the first missing function.
std::optional<std::string> ResolveAll(void* library, const std::string& path, OciApi& api) {
  std::optional<std::string> missing;
  auto take = [&](const char* name, auto* slot) {
    if (!missing) missing = Resolve(library, name, path, slot);
  };
  take("OCIClientVersion", &api.client_version);
  take("OCIEnvNlsCreate", &api.env_nls_create);
  take("OCIHandleAlloc", &api.handle_alloc);
  take("OCIHandleFree", &api.handle_free);
  take("OCIDescriptorFree", &api.descriptor_free);
  take("OCILogon2", &api.logon2);
  take("OCILogoff", &api.logoff);
  take("OCIStmtPrepare2", &api.stmt_prepare2);
  take("OCIStmtRelease", &api.stmt_release);
  take("OCIStmtExecute", &api.stmt_execute);
  take("OCIStmtFetch2", &api.stmt_fetch2);
  take("OCIParamGet", &api.param_get);
  take("OCIAttrGet", &api.attr_get);
  take("OCIAttrSet", &api.attr_set);
  take("OCIDefineByPos", &api.define_by_pos);
  take("OCIDefineDynamic", &api.define_dynamic);
  take("OCIBindByName", &api.bind_by_name);
  take("OCIErrorGet", &api.error_get);
  take("OCITransCommit", &api.trans_commit);
  take("OCITransRollback", &api.trans_rollback);
  return missing;
}

Status Failure(std::string_view what, const std::vector<std::string>& tried) {
  return Status::Unsupported(fmt::format(
      "No se puede usar la biblioteca cliente de Oracle: {}. Buscada en: {}. Instale Oracle "
      "Instant Client Basic {} o posterior (en Debian y Ubuntu tambien el paquete libaio1 o "
      "libaio1t64) y ponga su directorio en LD_LIBRARY_PATH o en {}.",
      what, fmt::join(tried, ", "), kMinimumClientRelease, kLibraryDirVariable));
}

}  // namespace

SearchPlaces CurrentSearchPlaces() {
  SearchPlaces places;
  places.override_path = GetEnv(kLibraryDirVariable.data());
  places.oracle_home = GetEnv("ORACLE_HOME");
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) places.executable_dir = self.parent_path().string();
  return places;
}

std::vector<std::string> Candidates(const SearchPlaces& places) {
  std::vector<std::string> candidates;
  if (!places.override_path.empty()) {
    std::error_code error;
    if (std::filesystem::is_directory(places.override_path, error)) {
      candidates.push_back((std::filesystem::path(places.override_path) / kLibraryName).string());
    } else {
      candidates.push_back(places.override_path);
    }
  }
  if (!places.executable_dir.empty()) {
    candidates.push_back((std::filesystem::path(places.executable_dir) / kLibraryName).string());
  }
  candidates.emplace_back(kLibraryName);
  for (std::string_view name : kVersionedNames) candidates.emplace_back(name);
  if (!places.oracle_home.empty()) {
    candidates.push_back(
        (std::filesystem::path(places.oracle_home) / "lib" / kLibraryName).string());
  }
  return candidates;
}

Result<ClientLibrary> LoadClientLibrary(const SearchPlaces& places) {
  std::vector<std::string> tried = Candidates(places);
  for (const std::string& candidate : tried) {
    dlerror();
    void* library = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      std::string error = LastDlError();
      if (IsNotFound(candidate, error)) continue;
      return Err(Failure(fmt::format("{} no se puede cargar ({})", candidate, error), tried));
    }
    ClientLibrary client;
    client.path = candidate;
    if (std::optional<std::string> missing = ResolveAll(library, candidate, client.api)) {
      return Err(Failure(*missing, tried));
    }
    sword major = 0, minor = 0, update = 0, patch = 0, port_update = 0;
    client.api.client_version(&major, &minor, &update, &patch, &port_update);
    client.major = major;
    client.minor = minor;
    if (major < kMinimumClientRelease) {
      return Err(Failure(fmt::format("{} es de la version {}.{}, se necesita la {} o posterior",
                                     candidate, major, minor, kMinimumClientRelease),
                         tried));
    }
    return client;
  }
  return Err(Failure(fmt::format("no se encuentra {}", kLibraryName), tried));
}

}  // namespace volmek::db::oci
