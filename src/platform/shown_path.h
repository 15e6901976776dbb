#pragma once
// Paths as a user reads and types them.
#include <string>
#include <string_view>

namespace hv {

// `path` without the "\\?\" prefix that lifts Windows' length limit:
// "\\?\C:\x" is shown as "C:\x", "\\?\UNC\server\share" as "\\server\share".
// Any other path is returned as it stands.
std::string ShownPath(std::string_view path);

}  // namespace hv
