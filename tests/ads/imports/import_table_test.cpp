// The import table: complete against the engine header, bound at start-up, and rebindable by
// tests with the original restored.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "ads/ace.h"

namespace {

UNSIGNED32 FakeGetHandleType(ADSHANDLE, UNSIGNED16* type) {
  *type = 4;
  return 0;
}

TEST(ImportTable, ListsEveryFunctionOfTheEngineHeader) {
  std::ifstream in(std::string(VASKOLI_SOURCE_DIR) + "/engine/include/ace.h");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  std::string header = text.str();
  std::set<std::string> declared;
  std::regex decl(R"(ACE_API\s+UNSIGNED32\s+(Ads\w+)\s*\()");
  for (std::sregex_iterator it(header.begin(), header.end(), decl), end; it != end; ++it) {
    declared.insert((*it)[1]);
  }
  ASSERT_FALSE(declared.empty());
  int count = 0;
  const char* const* names = AceImportNames(&count);
  std::set<std::string> imported(names, names + count);
  // Functions for hosts only, which the components do not call.
  declared.erase("AdsRegisterErrorDisplay");
  for (const auto& name : declared) EXPECT_TRUE(imported.count(name)) << name << " is not imported";
  for (const auto& name : imported) EXPECT_TRUE(declared.count(name)) << name << " is not declared";
}

TEST(ImportTable, IsBoundAtStartUpAndOverridesAreRestored) {
  ASSERT_EQ(Ace.AdsGetHandleType, &::AdsGetHandleType);
  {
    AceImportOverride guard(Ace.AdsGetHandleType, &FakeGetHandleType);
    UNSIGNED16 type = 0;
    EXPECT_EQ(Ace.AdsGetHandleType(12345, &type), 0u);
    EXPECT_EQ(type, 4);
  }
  EXPECT_EQ(Ace.AdsGetHandleType, &::AdsGetHandleType);
  UNSIGNED16 type = 0;
  EXPECT_NE(Ace.AdsGetHandleType(12345, &type), 0u);
}

}  // namespace
