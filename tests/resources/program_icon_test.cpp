// hivora.exe's icon: sharp from the 16 px of a list to the 256 px of a
// large-icon view, so Windows never scales a small image up.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

unsigned Word(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
std::uint32_t Dword(const std::string& b, std::size_t at) { return Word(b, at) | std::uint32_t(Word(b, at + 2)) << 16; }

TEST(ProgramIconTest, HoldsEverySizeFrom16To256AsWholeImages) {
  std::ifstream in(HIVORA_ICON, std::ios::binary);
  const std::string ico((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(ico.size(), 6u);
  ASSERT_EQ(Word(ico, 0), 0u);
  ASSERT_EQ(Word(ico, 2), 1u) << "not an icon";
  const unsigned count = Word(ico, 4);
  ASSERT_GE(ico.size(), 6 + 16u * count);
  std::set<unsigned> sizes;
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16u * i;
    const unsigned width = static_cast<unsigned char>(ico[entry]) == 0 ? 256 : static_cast<unsigned char>(ico[entry]);
    const unsigned height = static_cast<unsigned char>(ico[entry + 1]) == 0 ? 256 : static_cast<unsigned char>(ico[entry + 1]);
    EXPECT_EQ(width, height);
    EXPECT_EQ(Word(ico, entry + 6), 32u) << width << " px: not 32 bits with alpha";
    const std::uint32_t size = Dword(ico, entry + 8), offset = Dword(ico, entry + 12);
    ASSERT_LE(std::uint64_t(offset) + size, ico.size()) << width << " px: image outside the file";
    const std::string image = ico.substr(offset, size);
    if (width == 256) {
      EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n") << "the 256 px image is a PNG";
    } else {
      ASSERT_GE(image.size(), 40u);
      EXPECT_EQ(Dword(image, 4), width);
      EXPECT_EQ(Dword(image, 8), 2 * height) << "an icon bitmap's height counts its mask";
    }
    sizes.insert(width);
  }
  for (unsigned wanted : {16u, 24u, 32u, 48u, 64u, 128u, 256u}) EXPECT_EQ(sizes.count(wanted), 1u) << wanted << " px";
}

}  // namespace
