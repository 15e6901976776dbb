#include "settings/number_separators.h"

#include "platform/platform.h"
#include "settings/language.h"

namespace hv {

NumberSeparators StoredNumberSeparators() { return {',', Os().DecimalSeparator()}; }

bool IsSeparatorText(const std::string& candidate) {
  if (candidate.size() != 1) return false;
  const auto c = static_cast<unsigned char>(candidate[0]);
  if (c < 0x20 || c == 0x7F) return false;
  if (c >= '0' && c <= '9') return false;
  return c != '-' && c != '+' && c != '%';
}

NumberSeparators LanguageNumberSeparators() {
  const NumberSeparators stored = StoredNumberSeparators();
  const std::string thousands = GetLanString(kResThousandSeparator, std::string(1, stored.thousands));
  const std::string decimal = GetLanString(kResDecimalSeparator, std::string(1, stored.decimal));
  if (!IsSeparatorText(thousands) || !IsSeparatorText(decimal) || thousands == decimal) return stored;
  return {thousands[0], decimal[0]};
}

}  // namespace hv
