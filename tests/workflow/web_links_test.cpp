// The web pages of the help menu and the link label.
#include <gtest/gtest.h>

#include <string>

#include "app_fixture.h"
#include "platform/web_page.h"
#include "ui/link_label_open.h"

namespace hv::test {
namespace {

class WebLinksTest : public AppTest {
 protected:
  WebLinksTest() {
    AddMachine();
    ShowMain();
  }
  // The one shell call made, with the main window as its owner and "Open".
  void ExpectOpenedByMainWindow(const std::string& address) {
    ASSERT_EQ(fake.ShellCalls().size(), 1u);
    const auto call = fake.ShellCalls()[0];
    EXPECT_EQ(call.operation, "Open");
    EXPECT_EQ(call.file, address);
    EXPECT_EQ(call.parameters, "");
    EXPECT_EQ(call.directory, "");
    EXPECT_EQ(call.showCmd, kSwShow);
    EXPECT_EQ(fake.ShellOwners()[0], main->Handle());
  }
};

TEST_F(WebLinksTest, BlankLinkLabelMakesNoCall) {
  for (const char* url : {"", "   ", " \t "}) {
    main->suiURLLabel1.SetUrl(url);
    main->suiURLLabel1Click();
  }
  EXPECT_TRUE(fake.ShellCalls().empty());
}

TEST_F(WebLinksTest, LinkLabelOpensItsUrlAsStoredWithoutOwner) {
  main->suiURLLabel1.SetUrl("  https://www.talvixsoftware.com/  ");
  main->suiURLLabel1.Click();
  ASSERT_EQ(fake.ShellCalls().size(), 1u);
  EXPECT_EQ(fake.ShellCalls()[0].operation, "open");
  EXPECT_EQ(fake.ShellCalls()[0].file, "  https://www.talvixsoftware.com/  ");
  EXPECT_EQ(fake.ShellCalls()[0].showCmd, kSwShow);
  EXPECT_EQ(fake.ShellOwners()[0], nullptr);
}

TEST_F(WebLinksTest, HomepageMenuEntryOpensTheHomePage) {
  tk.QueuePopupChoice("Homepage1");
  main->bHelpClick();
  ExpectOpenedByMainWindow(BuiltinText(kTextHomePageUrl));
}

TEST_F(WebLinksTest, HiddenHomepageButtonOpensTheSamePage) {
  main->bHomepageClick();
  ExpectOpenedByMainWindow(BuiltinText(kTextHomePageUrl));
}

TEST_F(WebLinksTest, HelpEntryOpensTheHelpPage) {
  tk.QueuePopupChoice("pmiHelp");
  main->bHelpClick();
  ExpectOpenedByMainWindow(BuiltinText(kTextHelpPageUrl));
}

TEST_F(WebLinksTest, CheckForUpdateOpensThePageOfThisVersionAndChangesNothing) {
  tk.QueuePopupChoice("pmiCheckUpdate");
  main->bHelpClick();
  ExpectOpenedByMainWindow(BuiltinText(kTextUpdatePageUrl));
  EXPECT_TRUE(tk.MessageBoxLog().empty());
  EXPECT_FALSE(main->bDefragRegistry.Enabled());
}

}  // namespace
}  // namespace hv::test
