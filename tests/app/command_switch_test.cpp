#include "shell/command_switch.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(RecognizeSwitch, NotRecognised) {
  for (const char* line : {"hivora.exe", "hivora.exe /Scanner", "hivora.exe /Silently",
                           "hivora.exe -Scan", "hivora.exe \\Scan", "hivora.exe x /Scan",
                           "hivora.exe \"\" /Silentx", "hivora.exe Scan", "hivora.exe /Sca",
                           "hivora.exe /SCAN\xc3\xa9"}) {
    EXPECT_EQ(RecognizeSwitch(line), CommandSwitch::None) << line;
  }
}

TEST(RecognizeSwitch, ScanInAnyCase) {
  for (const char* line : {"hivora.exe /Scan", "hivora.exe /scan", "hivora.exe /SCAN",
                           "hivora.exe /sCaN report.ini", "\"C:\\Program Files\\h.exe\" /scan",
                           "hivora.exe \t \"/Scan\""}) {
    EXPECT_EQ(RecognizeSwitch(line), CommandSwitch::Scan) << line;
  }
}

TEST(RecognizeSwitch, SilentInAnyCase) {
  for (const char* line : {"hivora.exe /Silent", "hivora.exe /SILENT", "hivora.exe /silent x"}) {
    EXPECT_EQ(RecognizeSwitch(line), CommandSwitch::Silent) << line;
  }
}

TEST(ReportPathArgument, SecondArgumentQuotesDropped) {
  EXPECT_EQ(ReportPathArgument("hivora.exe /Scan"), "");
  EXPECT_EQ(ReportPathArgument("hivora.exe /Scan \"C:\\My Reports\\r.ini\" extra"),
            "C:\\My Reports\\r.ini");
}

}  // namespace
}  // namespace hv
