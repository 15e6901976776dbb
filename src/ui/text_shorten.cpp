#include "ui/text_shorten.h"

namespace hv::ui {
namespace {

bool IsBreak(char c) { return c == '\\' || c == '-'; }

// A start cut within this many characters of a break is moved back to it.
constexpr std::size_t kBreakSlack = 6;

}  // namespace

std::string ShortenInMiddle(const std::string& text, int room,
                            const std::function<int(std::string_view)>& width) {
  if (width(text) <= room) return text;
  auto joined = [&](std::size_t head, std::size_t tailStart) {
    return text.substr(0, head) + kEllipsis + text.substr(tailStart);
  };

  // The end: from the last break on; when that is too wide, as much of the
  // end as fits in half the room.
  std::size_t tailStart = text.find_last_of("\\-");
  if (tailStart == std::string::npos || tailStart == 0 || width(joined(0, tailStart)) > room) {
    if (width(kEllipsis) > room) return kEllipsis;
    const int half = width(kEllipsis) + (room - width(kEllipsis)) / 2;
    std::size_t lo = 1, hi = text.size();  // the smallest start that fits in half
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (width(joined(0, mid)) <= half) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    tailStart = lo;
  }

  // The start: the longest that still fits before the end.
  std::size_t lo = 0, hi = tailStart;
  while (lo < hi) {
    const std::size_t mid = (lo + hi + 1) / 2;
    if (width(joined(mid, tailStart)) <= room) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  std::size_t head = lo;
  for (std::size_t back = head; back > 0 && head - back < kBreakSlack; --back) {
    if (IsBreak(text[back - 1])) {
      head = back;
      break;
    }
  }
  return joined(head, tailStart);
}

}  // namespace hv::ui
