#pragma once
// When each timer of a realised form fires next, on the toolkit's clock.
// UI thread only.
//
// A timer runs while it is enabled and its form has a window; enabling it or
// changing its interval restarts its period, as SetTimer does. Intervals
// below 10 ms count as 10 ms (the system's minimum), so that advancing a
// virtual clock always ends.
#include <cstdint>
#include <map>
#include <optional>

#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

class TimerSchedule {
 public:
  static constexpr int kMinimumInterval = 10;

  // Brings the form's timers up to date at time `now`.
  void Sync(const Form& form, std::int64_t now);
  // Forgets the form's timers (its window is gone).
  void Remove(const Form& form);

  // The earliest due time, if any timer runs.
  std::optional<std::int64_t> NextDue() const;
  // The timer due first at or before `now` (ties: the one scheduled first);
  // it is rescheduled one interval after `firedAt`.
  Timer* TakeDue(std::int64_t now, std::int64_t firedAt);
  bool Any() const { return !entries_.empty(); }

 private:
  struct Entry {
    const Form* form = nullptr;
    int interval = 0;
    std::int64_t due = 0;
    std::uint64_t order = 0;
  };
  std::map<Timer*, Entry> entries_;
  std::uint64_t nextOrder_ = 0;
};

}  // namespace hv::ui::console
