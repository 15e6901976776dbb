#include "ui/console/hint_bar.h"

#include <algorithm>
#include <numeric>

#include "ui/console/ansi_text.h"

namespace hv::ui::console {
namespace {

int Cells(const std::string& utf8) { return static_cast<int>(Utf8Length(utf8)); }

std::string Join(const std::vector<KeyHint>& hints, const std::vector<bool>& keep) {
  std::string out;
  for (std::size_t i = 0; i < hints.size(); ++i) {
    if (!keep[i]) continue;
    if (!out.empty()) out += "  ";
    out += hints[i].keys + ": " + hints[i].action;
  }
  return out;
}

// The words of `text` that fit in `width` cells, with "…" when some were
// left out; empty when not even the first word fits.
std::string WordsThatFit(const std::string& text, int width) {
  if (Cells(text) <= width) return text;
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string candidate = text.substr(0, end);
    if (Cells(candidate) + 1 > width) break;
    out = candidate;
    at = end + 1;
  }
  return out.empty() ? std::string() : out + "\u2026";
}

}  // namespace

std::string FitHints(const std::string& note, const std::vector<KeyHint>& hints, int width) {
  std::vector<bool> keep(hints.size(), true);
  std::vector<std::size_t> byPriority(hints.size());
  std::iota(byPriority.begin(), byPriority.end(), std::size_t{0});
  // Least important first; of equals, the later one goes first.
  std::stable_sort(byPriority.begin(), byPriority.end(), [&](std::size_t a, std::size_t b) {
    if (hints[a].priority != hints[b].priority) return hints[a].priority > hints[b].priority;
    return a > b;
  });
  std::string line = Join(hints, keep);
  for (std::size_t victim : byPriority) {
    if (Cells(line) <= width) break;
    keep[victim] = false;
    line = Join(hints, keep);
  }
  if (Cells(line) > width) line.clear();
  if (!note.empty()) {
    const std::string joined = note + "  |  " + line;
    if (line.empty()) return WordsThatFit(note, width);
    if (Cells(joined) <= width) return joined;
  }
  return line;
}

}  // namespace hv::ui::console
