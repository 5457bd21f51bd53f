#include "session/folder_name.h"

#include <gtest/gtest.h>

namespace zp {
namespace {

TEST(FolderName, RefusesNamesThatAreNotOnePlainFolder) {
  for (const char* bad :
       {"",     ".",        "..",  "..\\..\\Windows", "a:b",  "a/b",    "a*",  "a?",  "a\"b",
        "a<b",  "a>b",      "a|b", "tab\there",       "dot.", "space ", "CON", "con", "NUL.txt",
        "com1", "LPT9.log", "Aux"}) {
    EXPECT_FALSE(IsUsableFolderName(bad)) << bad;
  }
  for (const char* good : {"Pocket_PC", "My Pocket", "COM10", "LPT0", "CONSOLE", "a.b", ".hidden",
                           "Ivan's iPAQ", "Устройство"}) {
    EXPECT_TRUE(IsUsableFolderName(good)) << good;
  }
}

}  // namespace
}  // namespace zp
