// Keyboard letters derived from captions: marked letters are kept and
// reserved, every other button takes its first free letter, hidden ones
// take none, and translated captions get letters of their own.
#include "ui/mnemonics.h"

#include <gtest/gtest.h>

#include "app/stub_toolkit.h"

namespace hv::ui {
namespace {

class Buttons : public Form {
 public:
  explicit Buttons(Toolkit& tk) : Form(tk, "frmButtons", nullptr) {}
  Control& Button(Kind kind, const std::string& name, const std::string& caption) {
    Control& c = Add<Control>(kind, name);
    c.SetCaption(caption);
    return c;
  }
};

// The rules read only the model; the toolkit is never asked.
test::StubToolkit tk;
Toolkit& NoToolkit() { return tk; }

TEST(DerivedMnemonics, FirstFreeLetterOfEachUnmarkedButton) {
  Buttons form(NoToolkit());
  const Control& analyze = form.Button(Kind::FlatButton, "bAnalyze", "Analyze Registry");
  const Control& defrag = form.Button(Kind::FlatButton, "bDefrag", "Defrag Registry");
  const Control& about = form.Button(Kind::FlatButton, "bAbout", "About");  // "a" is taken
  const Control& ok = form.Button(Kind::SkinButton, "bOK", "&Registry");    // reserves "r"
  const Control& label = form.Button(Kind::Label, "lTitle", "Label");
  Control& hidden = form.Button(Kind::FlatButton, "bHomepage", "Homepage");
  hidden.SetVisible(false);

  const auto letters = DerivedMnemonics(form);
  EXPECT_EQ(letters.at(&analyze), "&Analyze Registry");
  EXPECT_EQ(letters.at(&defrag), "&Defrag Registry");
  EXPECT_EQ(letters.at(&about), "A&bout");
  EXPECT_EQ(letters.count(&ok), 0u);
  EXPECT_EQ(letters.count(&label), 0u);
  EXPECT_EQ(letters.count(&hidden), 0u);
}

TEST(DerivedMnemonics, TranslatedCaptionsThatShareAStartGetDifferentLetters) {
  Buttons form(NoToolkit());
  const Control& analyze = form.Button(Kind::FlatButton, "bAnalyze", "Registry analysieren");
  const Control& defrag = form.Button(Kind::FlatButton, "bDefrag", "Registry defragmentieren");
  Control& disabled = const_cast<Control&>(defrag);
  disabled.SetEnabled(false);  // keeps its letter while disabled
  const auto letters = DerivedMnemonics(form);
  EXPECT_EQ(letters.at(&analyze), "&Registry analysieren");
  EXPECT_EQ(letters.at(&defrag), "R&egistry defragmentieren");
}

TEST(DerivedMnemonics, AButtonWithoutAFreeLetterGetsNone) {
  Buttons form(NoToolkit());
  form.Button(Kind::FlatButton, "b1", "ab");
  form.Button(Kind::FlatButton, "b2", "ba");
  const Control& third = form.Button(Kind::FlatButton, "b3", "a b!");
  EXPECT_EQ(DerivedMnemonics(form).count(&third), 0u);
}

}  // namespace
}  // namespace hv::ui
