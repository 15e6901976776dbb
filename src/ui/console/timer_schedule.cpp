#include "ui/console/timer_schedule.h"

#include <algorithm>

namespace hv::ui::console {

void TimerSchedule::Sync(const Form& form, std::int64_t now) {
  for (const auto& component : form.Components()) {
    if (component->GetKind() != Kind::Timer) continue;
    auto* timer = static_cast<Timer*>(component.get());
    const bool runs = timer->Enabled() && form.Handle() != nullptr;
    auto it = entries_.find(timer);
    if (!runs) {
      if (it != entries_.end()) entries_.erase(it);
      continue;
    }
    const int interval = std::max(timer->Interval(), kMinimumInterval);
    if (it != entries_.end() && it->second.interval == interval) continue;
    entries_[timer] = Entry{&form, interval, now + interval, nextOrder_++};
  }
}

void TimerSchedule::Remove(const Form& form) {
  std::erase_if(entries_, [&form](const auto& entry) { return entry.second.form == &form; });
}

std::optional<std::int64_t> TimerSchedule::NextDue() const {
  std::optional<std::int64_t> due;
  for (const auto& [timer, entry] : entries_) {
    if (!due || entry.due < *due) due = entry.due;
  }
  return due;
}

Timer* TimerSchedule::TakeDue(std::int64_t now, std::int64_t firedAt) {
  auto best = entries_.end();
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->second.due > now) continue;
    if (best == entries_.end() || it->second.due < best->second.due ||
        (it->second.due == best->second.due && it->second.order < best->second.order)) {
      best = it;
    }
  }
  if (best == entries_.end()) return nullptr;
  best->second.due = firedAt + best->second.interval;
  best->second.order = nextOrder_++;
  return best->first;
}

}  // namespace hv::ui::console
