#pragma once
// What the interactive terminal adds to the toolkit's loop: drawing, and the
// user's answers to message boxes and pop-up menus. The scripted and test
// modes run without one.
#include <chrono>
#include <string>

#include "platform/types.h"
#include "ui/component.h"
#include "ui/form.h"

namespace hv::ui::console {

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Something shown changed; the front end redraws when it sees fit.
  virtual void Changed() = 0;
  // The loop has nothing to do: draw what is pending. Returns how long the
  // loop may sleep before calling again.
  virtual std::chrono::milliseconds Idle() = 0;
  // Asks the user; runs nested loops of the toolkit until answered.
  virtual int MessageBox(const std::string& text, const std::string& caption, UINT flags) = 0;
  // Lets the user choose an item; returns it, or null when dismissed.
  virtual MenuItem* Popup(PopupMenu& menu) = 0;
};

}  // namespace hv::ui::console
