#include "upcase.h"

#include <array>

namespace hv::regf {
namespace {

struct Run {
  std::uint16_t first;
  std::uint16_t count;
  std::int32_t delta;
  std::uint16_t stride;
};

// Ranges covered: ASCII, Latin-1 (without ß), Latin Extended, IPA, Greek, Cyrillic, Armenian,
// Latin Extended Additional, Greek Extended, Roman numerals, circled letters, Glagolitic and
// full-width Latin. Code units with no single upper-case unit (ligatures, title-case forms) stay.
constexpr Run kRuns[] = {
#include "upcase_table.inc"
};

struct Table {
  std::array<char16_t, 65536> map{};
  Table() {
    for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<char16_t>(i);
    for (const Run& r : kRuns) {
      for (std::uint32_t k = 0; k < r.count; ++k) {
        const std::uint32_t c = r.first + k * r.stride;
        map[c] = static_cast<char16_t>(static_cast<std::int32_t>(c) + r.delta);
      }
    }
  }
};

const Table& GetTable() {
  static const Table table;
  return table;
}

}  // namespace

char16_t UpcaseOutsideAscii(char16_t c) { return GetTable().map[c]; }

int CompareNames(const NameRef& a, const NameRef& b) {
  const std::uint32_t na = a.Units(), nb = b.Units();
  const std::uint32_t n = na < nb ? na : nb;
  if (a.compressed && b.compressed) {
    for (std::uint32_t i = 0; i < n; ++i) {
      const char16_t ca = Upcase(a.bytes[i]), cb = Upcase(b.bytes[i]);
      if (ca != cb) return ca < cb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    const char16_t ca = Upcase(a.Unit(i)), cb = Upcase(b.Unit(i));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

bool NamesEqual(const NameRef& a, const NameRef& b) { return CompareNames(a, b) == 0; }

std::uint32_t NameHash(const NameRef& name) {
  std::uint32_t h = 0;
  const std::uint32_t n = name.Units();
  for (std::uint32_t i = 0; i < n; ++i) h = h * 37u + Upcase(name.Unit(i));
  return h;
}

std::uint32_t NameHint(const NameRef& name) {
  // Windows stores the first four bytes of a name kept in Latin-1 (compressed), as they are;
  // a name that needs UTF-16 gets no hint (0), which every reader takes as "compare the name".
  for (std::uint32_t i = 0; i < name.Units(); ++i) {
    if (name.Unit(i) > 0xFF) return 0;
  }
  std::uint32_t hint = 0;
  const std::uint32_t n = name.Units() < 4 ? name.Units() : 4;
  for (std::uint32_t i = 0; i < n; ++i) hint |= static_cast<std::uint32_t>(name.Unit(i)) << (8 * i);
  return hint;
}

}  // namespace hv::regf
