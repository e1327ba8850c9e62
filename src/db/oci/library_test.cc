#include "db/oci/library.h"

#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "db/oci/client.h"
#include "testing/harness.h"

namespace volmek::db::oci {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string StubDir(const std::string& variant) {
  return std::string(VOLMEK_BINARY_DIR) + "/oci-stubs/" + variant;
}

// Places that find nothing of their own: an empty directory everywhere.
class LoaderTest : public ::testing::Test {
 protected:
  SearchPlaces Places(std::string override_path) {
    return SearchPlaces{std::move(override_path), empty_.path(), empty_.path()};
  }
  // The system search must find no client for the "nothing found" cases to mean anything.
  static bool SystemHasClient() {
    return dlopen("libclntsh.so", RTLD_LAZY | RTLD_LOCAL) != nullptr;
  }
  volmek::testing::TempDir empty_;
};

TEST_F(LoaderTest, CandidatesFollowTheDocumentedOrder) {
  SearchPlaces places{"/opt/ic", "/usr/local/bin", "/u01/app/oracle"};
  std::vector<std::string> candidates = Candidates(places);
  // /opt/ic is not a directory here: taken as the library file itself.
  EXPECT_THAT(candidates, ElementsAre("/opt/ic", "/usr/local/bin/libclntsh.so", "libclntsh.so",
                                      "libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.19.1",
                                      "/u01/app/oracle/lib/libclntsh.so"));
  EXPECT_EQ(Candidates(Places(StubDir("full")))[0], StubDir("full") + "/libclntsh.so");
  EXPECT_THAT(Candidates(SearchPlaces{}), ElementsAre("libclntsh.so", "libclntsh.so.23.1",
                                                      "libclntsh.so.21.1", "libclntsh.so.19.1"));
}

TEST_F(LoaderTest, CompleteRecentClientLoads) {
  Result<ClientLibrary> client = LoadClientLibrary(Places(StubDir("full")));
  ASSERT_TRUE(client.has_value()) << client.error().message();
  EXPECT_EQ(client->major, 23);
  EXPECT_EQ(client->path, StubDir("full") + "/libclntsh.so");
  EXPECT_NE(client->api.define_dynamic, nullptr);
  // The override may name the file itself.
  EXPECT_TRUE(LoadClientLibrary(Places(StubDir("full") + "/libclntsh.so")).has_value());
}

TEST_F(LoaderTest, NoLibraryAnywhereSaysWhatWasTriedAndHowToInstall) {
  if (SystemHasClient()) GTEST_SKIP() << "this machine has an Oracle client in its search path";
  Result<ClientLibrary> client = LoadClientLibrary(Places(empty_.path()));
  ASSERT_FALSE(client.has_value());
  const std::string& message = client.error().message();
  EXPECT_THAT(message, StartsWith("No se puede usar la biblioteca cliente de Oracle: no se "
                                  "encuentra libclntsh.so. Buscada en: " +
                                  empty_.path() + "/libclntsh.so, "));
  EXPECT_THAT(message, HasSubstr("libclntsh.so.19.1, " + empty_.path() + "/lib/libclntsh.so."));
  EXPECT_THAT(message, HasSubstr("Instale Oracle Instant Client Basic 19 o posterior"));
  EXPECT_THAT(message, HasSubstr("libaio1t64"));
  EXPECT_EQ(message.find('\n'), std::string::npos);
}

TEST_F(LoaderTest, LibraryWithoutClientVersionIsRefused) {
  Result<ClientLibrary> client = LoadClientLibrary(Places(StubDir("noversion")));
  ASSERT_FALSE(client.has_value());
  EXPECT_THAT(client.error().message(),
              HasSubstr(StubDir("noversion") + "/libclntsh.so no tiene la funcion "
                                               "OCIClientVersion ("));
}

TEST_F(LoaderTest, ReleaseOlderThan19IsRefused) {
  Result<ClientLibrary> client = LoadClientLibrary(Places(StubDir("old")));
  ASSERT_FALSE(client.has_value());
  EXPECT_THAT(client.error().message(),
              HasSubstr("libclntsh.so es de la version 18.1, se necesita la 19 o posterior"));
}

TEST_F(LoaderTest, MissingFunctionIsNamed) {
  Result<ClientLibrary> client = LoadClientLibrary(Places(StubDir("nosymbol")));
  ASSERT_FALSE(client.has_value());
  EXPECT_THAT(client.error().message(), HasSubstr("no tiene la funcion OCIDefineDynamic ("));
  EXPECT_THAT(client.error().message(), HasSubstr("undefined symbol: OCIDefineDynamic"));
}

TEST_F(LoaderTest, MissingDependencyEndsTheSearchWithDlerrorsText) {
  // What a client without libaio.so.1 gives: the library is there but cannot be loaded. A
  // later candidate would hide the cause, so the search stops here.
  Result<ClientLibrary> client =
      LoadClientLibrary(SearchPlaces{StubDir("needsdep"), StubDir("full"), ""});
  ASSERT_FALSE(client.has_value());
  EXPECT_THAT(client.error().message(),
              HasSubstr(StubDir("needsdep") + "/libclntsh.so no se puede cargar ("
                                              "libvolmekstubdep.so: cannot open shared object "
                                              "file"));
}

TEST_F(LoaderTest, LogonThroughALoadedLibraryGivesTheServersRefusal) {
  const char* old = std::getenv("VOLMEK_OCI_LIB_DIR");
  std::string saved = old != nullptr ? old : "";
  setenv("VOLMEK_OCI_LIB_DIR", StubDir("full").c_str(), 1);
  LogonResult logon = Logon("SCOTT", "tiger", "//db/nosuch");
  if (old != nullptr) {
    setenv("VOLMEK_OCI_LIB_DIR", saved.c_str(), 1);
  } else {
    unsetenv("VOLMEK_OCI_LIB_DIR");
  }
  EXPECT_EQ(logon.rc, 12514);
  EXPECT_THAT(logon.detail, StartsWith("ORA-12514: TNS:listener does not currently know"));
  EXPECT_EQ(logon.connection, nullptr);

  setenv("VOLMEK_OCI_LIB_DIR", StubDir("old").c_str(), 1);
  LogonResult refused = Logon("SCOTT", "tiger", "//db/orcl");
  if (old != nullptr) {
    setenv("VOLMEK_OCI_LIB_DIR", saved.c_str(), 1);
  } else {
    unsetenv("VOLMEK_OCI_LIB_DIR");
  }
  EXPECT_EQ(refused.rc, 1034);
  EXPECT_THAT(refused.detail, HasSubstr("se necesita la 19 o posterior"));
}

}  // namespace
}  // namespace volmek::db::oci
