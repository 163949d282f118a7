#include "tools/escape.h"

#include <cstdio>

namespace devidoriv::tool {

std::string Escaped(std::string_view text, EscapeSet set) {
  std::string out;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool shown = c >= 0x20 && c != 0x7f && (set == EscapeSet::kControls || c < 0x7f);
    if (shown) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace devidoriv::tool
