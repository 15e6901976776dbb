#pragma once
// How the screen may look on the terminal in front of the user: colour
// where the terminal has it and the user did not ask for none (NO_COLOR),
// plain ASCII frames where box-drawing characters would come out wrong (a
// dumb terminal, the Linux console without UTF-8, a locale that is not
// UTF-8), and no dim text where it does not show.
#include <string_view>

namespace hv::ui::console {

struct Look {
  bool colour = false;
  bool ascii = false;
  // Dim text shows as dim (it vanishes on the Linux console and on dumb
  // terminals).
  bool dim = true;
  friend bool operator==(const Look&, const Look&) = default;
};

// From the terminal's type ($TERM), $NO_COLOR (null when unset), $COLORTERM
// (null when unset) and the locale's character set name (the first of
// $LC_ALL, $LC_CTYPE, $LANG that is set; empty when none is).
Look LookFor(std::string_view term, const char* noColor, const char* colorTerm, std::string_view locale);

// The same, from this process's environment.
Look LookFromEnvironment();

}  // namespace hv::ui::console
