// hivora-gen-shared-cells DIR: writes the shared-cell hive shapes at the sizes that once made
// a reader amplify (segment.hive, valuelist.hive, value.hive, subkeylist.hive).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "regf/fixture_shapes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hivora-gen-shared-cells DIR\n");
    return 2;
  }
  using hv::regf::SharedShape;
  struct Shape {
    const char* file;
    SharedShape shape;
    std::uint32_t count, count2;
  };
  const Shape shapes[] = {
      {"segment.hive", SharedShape::kBigDataSegment, 65535, 0},  // 1 GB of data from one segment
      {"valuelist.hive", SharedShape::kValueList, 20000, 100000},  // 2e9 values from one list
      {"value.hive", SharedShape::kValue, 250000, 1 << 20},      // 250,000 references to 1 MiB
      {"subkeylist.hive", SharedShape::kSubkeyList, 20000, 0},
  };
  for (const Shape& s : shapes) {
    const auto image = hv::regf::SharedCellHive(s.shape, s.count, s.count2);
    const std::filesystem::path file = std::filesystem::path(argv[1]) / s.file;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) {
      std::fprintf(stderr, "hivora-gen-shared-cells: cannot write %s\n", file.string().c_str());
      return 1;
    }
  }
  return 0;
}
