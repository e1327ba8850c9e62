// Tests only: the smallest shared library that looks like an Oracle client to the loader, built
// in variants (see CMakeLists.txt) that lack OCIClientVersion, report an old release, lack a
// function, or depend on a library that is not there. Its logon always fails as a client does
// when the service is unknown, so that a run through it ends with Oracle's message.
#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef STUB_MAJOR
#define STUB_MAJOR 23
#endif

#ifdef STUB_NEEDS_DEPENDENCY
extern "C" int volmek_stub_dependency();
#endif

namespace {
int handle = 0;
constexpr int kError = -1;
constexpr char kMessage[] =
    "ORA-12514: TNS:listener does not currently know of service requested in connect "
    "descriptor\n";
}  // namespace

extern "C" {

#ifndef STUB_NO_VERSION
void OCIClientVersion(int* major, int* minor, int* update, int* patch, int* port) {
  *major = STUB_MAJOR;
  *minor = 1;
  *update = 0;
  *patch = 0;
  *port = 0;
}
#endif

int OCIEnvNlsCreate(void** env, unsigned, void*, void*, void*, void*, std::size_t, void**,
                    std::uint16_t, std::uint16_t) {
#ifdef STUB_NEEDS_DEPENDENCY
  volmek_stub_dependency();
#endif
  *env = &handle;
  return 0;
}
int OCIHandleAlloc(const void*, void** out, unsigned, std::size_t, void**) {
  *out = &handle;
  return 0;
}
int OCIHandleFree(void*, unsigned) { return 0; }
int OCIDescriptorFree(void*, unsigned) { return 0; }
int OCILogon2(void*, void*, void**, const unsigned char*, unsigned, const unsigned char*, unsigned,
              const unsigned char*, unsigned, unsigned) {
  return kError;
}
int OCIErrorGet(void*, unsigned record, unsigned char*, std::int32_t* code, unsigned char* buffer,
                unsigned size, unsigned) {
  if (record != 1 || size < sizeof kMessage) return 100;
  *code = 12514;
  std::memcpy(buffer, kMessage, sizeof kMessage);
  return 0;
}
int OCILogoff(void*, void*) { return kError; }
int OCIStmtPrepare2() { return kError; }
int OCIStmtRelease() { return kError; }
int OCIStmtExecute() { return kError; }
int OCIStmtFetch2() { return kError; }
int OCIParamGet() { return kError; }
int OCIAttrGet() { return kError; }
int OCIAttrSet() { return kError; }
int OCIDefineByPos() { return kError; }
int OCIBindByName() { return kError; }
#ifndef STUB_NO_DEFINE_DYNAMIC
int OCIDefineDynamic() { return kError; }
#endif
int OCITransCommit() { return kError; }
int OCITransRollback() { return kError; }

}  // extern "C"
