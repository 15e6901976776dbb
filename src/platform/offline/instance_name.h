#pragma once
// The single-instance name of a program working on an offline installation.
#include <string>

namespace hv::offline {

// `base` followed by a hash of the installation's identity: two programs on
// different installations do not meet, two on the same one do, however the
// installation was named. Short enough for a window class name.
std::string InstanceNameFor(const std::string& base, const std::string& identity);

}  // namespace hv::offline
