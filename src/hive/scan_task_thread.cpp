#include "hive/scan_task_thread.h"

#include "hive/hive_catalogue.h"
#include "hive/hive_primitives.h"
#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "ui/form.h"
#include "ui/messages.h"

namespace hv {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t MillisecondsOf(const SystemTime& t) {
  const std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
  return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000 + t.wMilliseconds;
}

}  // namespace

TScanTaskThread::TScanTaskThread(ui::Toolkit& toolkit) : toolkit_(toolkit) {}

std::int64_t TScanTaskThread::ElapsedMilliseconds(const SystemTime& a, const SystemTime& b) {
  return MillisecondsOf(b) - MillisecondsOf(a);
}

bool TScanTaskThread::ShowStatus(const std::string& text) {
  ui::Memo* memo = StatusMemo;
  if (memo == nullptr) return false;
  return toolkit_.SendToUiThread(NotifyWindow, [memo, text] {
    // A dialog already closing keeps the text the scan's outcome is read from.
    if (!memo->Owner().Closed()) memo->SetCaption(text);
  });
}

void TScanTaskThread::Execute() {
  EnableBackupPrivilege();
  std::int64_t elapsed = 0;
  SystemTime start;
  const std::size_t n = Hives.size();
  std::size_t i = 0;
  while (i < n) {
    if (Terminated()) break;
    ShowStatus(Hives[i].Name);
    if (i == 0) Os().GetLocalTime(&start);
    // Stop is answered inside a hive where the platform can: the copy under way
    // is dropped and the run ends as one stopped between hives, that hive
    // neither done nor counted. A copy that was finished all the same counts.
    const bool saved = SaveHive(Hives[i].Name, Hives[i].Copy(), IsWow64Flag, TerminationFlag());
    if (!saved && Terminated()) break;
    if (i == 0) {
      SystemTime now;
      Os().GetLocalTime(&now);
      elapsed = ElapsedMilliseconds(start, now);
    }
    toolkit_.PostMessageA(NotifyWindow, ui::kWmHiveDone,
                          static_cast<ui::WPARAM>(static_cast<std::uint32_t>(elapsed)),
                          static_cast<ui::LPARAM>(i + 1));
    ++i;
  }
  if (i == n) ShowStatus(BuiltinText(kTextFinish));
  toolkit_.PostMessageA(NotifyWindow, ui::kWmClose, 0, 0);
}

}  // namespace hv
