#include "resources/builtin_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace hv {
namespace {

TEST(BuiltinTextTest, UnknownNumbersGiveEmptyText) {
  EXPECT_STREQ(BuiltinText(0), "");
  EXPECT_STREQ(BuiltinText(65200), "");
  EXPECT_STREQ(BuiltinText(65205), "");
  EXPECT_STREQ(BuiltinText(65230), "");
  EXPECT_STREQ(BuiltinText(65232), "");
}

TEST(BuiltinTextTest, TextsOtherPartsCompareAgainst) {
  EXPECT_STREQ(BuiltinText(kTextProductTitle), "Talvix Hivora");
  EXPECT_STREQ(BuiltinText(kTextFinish), "Finish");
  EXPECT_STREQ(BuiltinText(kTextNotFound), "can not be found.");
  EXPECT_STREQ(BuiltinText(kTextAnalyzeFailed), "Failed to analyze the registry!");
  EXPECT_STREQ(BuiltinText(kTextRestorePointFailed),
               "Restore Point creation Failed! Please check whether you close the system restore. "
               "Contiue to defrag?");
}

TEST(BuiltinTextTest, AddressesAreOnTheProductSite) {
  for (int id : {kTextHomePageUrl, kTextHelpPageUrl, kTextUpdatePageUrl, kTextTranslatePageUrl}) {
    EXPECT_EQ(std::string(BuiltinText(id)).rfind("https://www.talvixsoftware.com/hivora/", 0), 0u)
        << id;
  }
  EXPECT_EQ(std::string(kSiteRootUrl), "https://www.talvixsoftware.com/");
}

}  // namespace
}  // namespace hv
