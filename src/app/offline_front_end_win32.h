#pragma once
// hivora.exe on an offline installation: --root DIR or --machine FILE, with
// the settling options of the Linux program (front_end_options.h), the
// offline platform and the native windows.
namespace hv::app {

// True when the command line asks for an offline installation (it names one
// of the offline options); otherwise the live registry is used, as always.
bool WantsOfflineInstallation(int argc, const char* const* argv);

// Runs the program on the offline installation; returns the exit code, the
// same as the Linux program's: 0 done; 1 nothing done (analysis failed,
// report not written, nothing replaced, the installation owned by another
// instance, which was brought forward); 2 bad command line or installation;
// 3 partly done. Anything but 0 says why on standard error, where the
// summaries of unattended runs and settling go too.
int RunOfflineInstallation(int argc, const char* const* argv);

}  // namespace hv::app
