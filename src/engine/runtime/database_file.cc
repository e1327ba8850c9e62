#include "engine/runtime/database_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>

#include "engine/catalog/catalog.h"
#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {

namespace {

OraError NotAvailable() { return Ora(1034, "ORACLE not available"); }

std::string NoPermissionDetail(const std::string& path) {
  return fmt::format("No hay permiso de lectura y escritura sobre la base de datos {}.", path);
}

}  // namespace

std::string RefusedFileDetail(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "";
  if (S_ISDIR(info.st_mode)) {
    return fmt::format("{} es un directorio, no una base de datos de volmek.", path);
  }
  if (!S_ISREG(info.st_mode)) {
    return fmt::format("{} no es un fichero normal, no una base de datos de volmek.", path);
  }
  if (info.st_size == 0) {
    return fmt::format("El fichero {} esta vacio, no es una base de datos de volmek.", path);
  }
  if (::access(path.c_str(), R_OK | W_OK) != 0) return NoPermissionDetail(path);
  return "";
}

std::string SqliteFailureDetail(int sqlite_code, const std::string& path) {
  switch (sqlite_code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return fmt::format("La base de datos {} esta bloqueada por otro proceso.", path);
    case SQLITE_NOTADB:
      return fmt::format("El fichero {} no es una base de datos de volmek.", path);
    case SQLITE_CORRUPT:
      return fmt::format("La base de datos {} esta danada o cortada.", path);
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
      return NoPermissionDetail(path);
    case SQLITE_IOERR:
    case SQLITE_FULL:
      return fmt::format("Error de lectura o escritura en la base de datos {}.", path);
    default:
      return "";
  }
}

std::string ForeignDatabaseDetail(const std::string& path) {
  return fmt::format("El fichero {} es una base de datos de otro programa, no de volmek.", path);
}

OraResult<bool> CreateDatabaseFile(const std::string& path, std::string_view user,
                                   std::string_view hash, std::string* detail) {
  std::string temporary = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(temporary.data());  // readable and writable by its owner only
  if (fd < 0) {
    *detail = errno == EACCES || errno == EPERM || errno == EROFS
                  ? NoPermissionDetail(path)
                  : fmt::format("No se puede crear la base de datos {}.", path);
    return OraErr(NotAvailable());
  }
  ::close(fd);
  OraStatus built = [&]() -> OraStatus {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(temporary.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    SqliteDb db(raw);
    if (rc != SQLITE_OK) return OraErr(NotAvailable());
    // Pages of 16 KiB: a quarter of the pages, page writes and journal entries of 4 KiB ones
    // for the same rows. Only a database without pages takes it.
    VK_RETURN_IF_ORA_ERROR(ExecSql(db.get(), "PRAGMA page_size = 16384"));
    VK_RETURN_IF_ORA_ERROR(ExecSql(db.get(), "BEGIN IMMEDIATE"));
    VK_RETURN_IF_ORA_ERROR(Catalog::Create(db.get()));
    VK_RETURN_IF_ORA_ERROR(Catalog(db.get()).AddUser(user, hash, "USERS"));
    return ExecSql(db.get(), "COMMIT");
  }();
  if (!built.has_value()) {
    ::unlink(temporary.c_str());
    *detail = fmt::format("No se puede crear la base de datos {}.", path);
    return OraErr(NotAvailable());
  }
  // link() never replaces: a database another run made meanwhile is kept and used.
  bool linked = ::link(temporary.c_str(), path.c_str()) == 0;
  int link_error = errno;
  if (!linked && (link_error == EPERM || link_error == ENOTSUP || link_error == EMLINK)) {
    // A file system without hard links: a rename, which replaces only what was not there.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      linked = ::rename(temporary.c_str(), path.c_str()) == 0;
      link_error = linked ? 0 : errno;
    } else {
      link_error = EEXIST;
    }
  }
  ::unlink(temporary.c_str());
  if (!linked && link_error != EEXIST) {
    *detail = fmt::format("No se puede crear la base de datos {}.", path);
    return OraErr(NotAvailable());
  }
  return linked;
}

}  // namespace volmek::engine
