#include "resources/builtin_texts.h"

#include "hivora_version.h"

namespace hv {

const char* BuiltinText(int id) {
  switch (id) {
    case kTextHomePageUrl: return "https://www.talvixsoftware.com/hivora/index.htm";
    case kTextHelpPageUrl: return "https://www.talvixsoftware.com/hivora/help.htm";
    case kTextUpdatePageUrl: return "https://www.talvixsoftware.com/hivora/" HIVORA_UPDATE_PAGE;
    case kTextTranslatePageUrl: return "https://www.talvixsoftware.com/hivora/translate.htm";
    case kTextProductTitle: return "Talvix Hivora";
    case kTextVersion: return HIVORA_VERSION;
    case kTextCannotAnalyzeNow: return "Can not analyze the registry now! Please try again later.";
    case kTextStopProcess: return "Stop Process...";
    case kTextRestartRequired:
      return "You must restart your computer for the changes to take effect. Click the OK button "
             "to restart your computer now.";
    case kTextFragmentRateOnly: return "The fragment rate of your registry is only";
    case kTextNoNeedToCompact:
      return "We suggest that your registry does not need to be compacted at this time. If you "
             "select to compact the registry now, the same fragment rate may appear again.";
    case kTextRestorePointFailed:
      return "Restore Point creation Failed! Please check whether you close the system restore. "
             "Contiue to defrag?";
    case kTextUnsupportedWindows: return "The software does not support the current Windows system!";
    case kTextNotFound: return "can not be found.";
    case kTextAnalyzeFailed: return "Failed to analyze the registry!";
    case kTextFinish: return "Finish";
    default: return "";
  }
}

}  // namespace hv
