#pragma once
// Standard error of a windowed program: Windows gives it none unless the
// starter redirected it. The unattended runs on an offline installation
// report there, so it is connected to the console of the program's starter.
namespace hv::win32 {

// When standard error leads nowhere, attaches to the parent's console (if it
// has one) and points standard error and output at it. Harmless otherwise.
void ConnectStandardErrorToConsole();

}  // namespace hv::win32
