#pragma once
// Cases of GetFullPathNameA on drive paths, shared by the tests of every
// implementation: the real kernel32 function (run under Wine when
// cross-built), the offline platform and the test double. The paths need not
// exist: the full form is made from the name alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace hv::test::full_path_cases {

struct FullPathCase {
  std::string name;
  std::string path;
  std::string full;
  std::string filePart;  // empty: none (the full form ends with a separator)
};

inline std::vector<FullPathCase> FullPathCases() {
  return {
      {"'..' takes the component before it", "C:\\dir\\..\\hive.dat", "C:\\hive.dat", "hive.dat"},
      {"'.' goes", "C:\\dir\\.\\hive.dat", "C:\\dir\\hive.dat", "hive.dat"},
      {"'..' above the root stays at the root", "C:\\..\\..\\hive.dat", "C:\\hive.dat", "hive.dat"},
      {"forward slashes become backslashes", "C:/dir/sub/hive.dat", "C:\\dir\\sub\\hive.dat", "hive.dat"},
      {"repeated separators are one", "C:\\dir\\\\sub\\\\\\hive.dat", "C:\\dir\\sub\\hive.dat", "hive.dat"},
      {"a trailing separator stays, with no file part", "C:\\dir\\sub\\", "C:\\dir\\sub\\", ""},
      {"the root is its own full form", "C:\\", "C:\\", ""},
      {"trailing dots and blanks of the last component go", "C:\\dir\\hive.dat. .", "C:\\dir\\hive.dat",
       "hive.dat"},
      {"a dot inside a name stays", "C:\\dir\\hive..dat", "C:\\dir\\hive..dat", "hive..dat"},
  };
}

// Runs every case against `os`, and the buffer rule on the first.
inline void RunFullPathCases(Platform& os) {
  for (const FullPathCase& c : FullPathCases()) {
    SCOPED_TRACE(c.name + ": " + c.path);
    char buffer[260] = {};
    char* filePart = buffer;  // must be set, to null where there is none
    const DWORD length = os.GetFullPathNameA(c.path.c_str(), sizeof buffer, buffer, &filePart);
    EXPECT_EQ(length, c.full.size());
    EXPECT_EQ(std::string(buffer), c.full);
    if (c.filePart.empty()) {
      EXPECT_EQ(filePart, nullptr);
    } else {
      ASSERT_NE(filePart, nullptr);
      EXPECT_EQ(std::string(filePart), c.filePart);
    }
    char tiny[4] = {'#', '#', '#', '#'};
    if (c.full.size() >= sizeof tiny) {
      EXPECT_EQ(os.GetFullPathNameA(c.path.c_str(), sizeof tiny, tiny, nullptr), c.full.size() + 1)
          << "too small: the size needed, with the NUL";
    }
  }
}

}  // namespace hv::test::full_path_cases
