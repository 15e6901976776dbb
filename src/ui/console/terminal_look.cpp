#include "ui/console/terminal_look.h"

#include <cstdlib>
#include <string>

#include "regf/text_case.h"

namespace hv::ui::console {
namespace {

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool Utf8Locale(std::string_view locale) {
  const std::string upper = AsciiUpper(std::string(locale));
  return Contains(upper, "UTF-8") || Contains(upper, "UTF8");
}

}  // namespace

Look LookFor(std::string_view term, const char* noColor, const char* colorTerm, std::string_view locale) {
  Look look;
  const bool dumb = term.empty() || term == "dumb";
  const bool console = term == "linux";
  look.ascii = dumb || !Utf8Locale(locale);
  look.dim = !dumb && !console;
  const bool hasColour = !dumb && (colorTerm != nullptr || console || Contains(term, "color") ||
                                   Contains(term, "xterm") || Contains(term, "screen") || Contains(term, "tmux") ||
                                   Contains(term, "rxvt") || Contains(term, "vt220") || Contains(term, "ansi"));
  // https://no-color.org: set and not empty.
  look.colour = hasColour && (noColor == nullptr || noColor[0] == '\0');
  return look;
}

Look LookFromEnvironment() {
  const char* term = std::getenv("TERM");
  std::string_view locale;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      locale = value;
      break;
    }
  }
  return LookFor(term == nullptr ? "" : term, std::getenv("NO_COLOR"), std::getenv("COLORTERM"), locale);
}

}  // namespace hv::ui::console
