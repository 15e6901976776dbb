#pragma once
// Windows' metrics of the forms' font, "MS Sans Serif", from a width table
// kept as test data (tests/fit/ms_sans_serif_widths.txt).
#include <array>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace hv::test {

class FontWidths {
 public:
  explicit FontWidths(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("no width table at " + path);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      int height = 0;
      std::string weight;
      fields >> height >> weight;
      std::array<int, 224> widths{};
      for (int& w : widths) fields >> w;
      if (!fields) throw std::runtime_error("bad width table line: " + line.substr(0, 20));
      table_[{height, weight == "bold:"}] = widths;
    }
  }

  // Width in pixels of `text` as drawn (a single "&" marks a letter and takes
  // no room; "&&" draws one "&").
  int Width(const std::string& text, int height = -11, bool bold = false) const {
    const auto found = table_.find({height, bold});
    if (found == table_.end()) throw std::runtime_error("no widths for height " + std::to_string(height));
    int width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '&' && i + 1 < text.size()) ++i;
      const auto c = static_cast<unsigned char>(text[i]);
      width += c < 32 ? 0 : found->second[c - 32];
    }
    return width;
  }

 private:
  std::map<std::pair<int, bool>, std::array<int, 224>> table_;
};

}  // namespace hv::test
