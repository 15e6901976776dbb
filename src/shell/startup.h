#pragma once
// The program's start: one instance at a time.
#include <string>

#include "resources/builtin_texts.h"  // kInstanceName
#include "ui/toolkit.h"

namespace hv {

// Finds a running instance by its window class `instanceName`: if there is
// one, asks it to come to the front, brings forward the window it last
// activated (a dialog open over it, or the window itself) and returns at
// once; otherwise runs the
// main window until it closes. The platform must be installed. Returns the
// process exit code (0). `installation` names the offline installation the
// program works on, for the window's title; empty for the live registry.
int RunApplication(ui::Toolkit& toolkit, const std::string& instanceName, const std::string& installation = {});

}  // namespace hv
