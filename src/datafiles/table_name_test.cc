#include "datafiles/table_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace volmek::datafiles {
namespace {

TEST(CheckTableName, PlainAndOwnerQualifiedNamesPass) {
  for (const std::string& name :
       std::vector<std::string>{"T", "clientes", "CLI_2$#", "OTRO.CLIENTES", std::string(30, 'A'),
                                std::string(30, 'A') + "." + std::string(30, 'B')}) {
    EXPECT_TRUE(CheckTableName(name).ok()) << name;
  }
}

TEST(CheckTableName, NamesThatWouldChangeTheStatementAreRefused) {
  for (const std::string& name :
       std::vector<std::string>{"", "T U", "T;", "T'", "T\"", "1T", "_T", "T.", ".T", "A.B.C",
                                "../T", "T--", std::string("T\0U", 3), "T\xc3\xb1"}) {
    Status status = CheckTableName(name);
    EXPECT_EQ(status.code(), Status::Code::kRefused) << name;
    EXPECT_EQ(status.message(),
              "Error. Nombre de tabla no valido (" + name + "). No se modifica nada.\n");
  }
}

TEST(CheckTableName, OverThirtyCharactersIsRefusedAndShownWhole) {
  for (std::string name :
       {std::string(31, 'A'), "OTRO." + std::string(31, 'B'), std::string(31, 'A') + ".T"}) {
    Status status = CheckTableName(name);
    EXPECT_EQ(status.code(), Status::Code::kRefused) << name;
    EXPECT_EQ(status.message(), "Error. Nombre de tabla demasiado largo (" + name +
                                    "): mas de 30 caracteres. No se modifica nada.\n");
  }
}

}  // namespace
}  // namespace volmek::datafiles
