// Untrusted text (arguments, stream headers) shown in a one-line message:
// control bytes, and where asked every byte outside printable ASCII, as
// \xNN, so that a message stays one line and sends nothing to the terminal.
#pragma once

#include <string>
#include <string_view>

namespace devidoriv::tool {

enum class EscapeSet {
  kControls,  // bytes below 0x20 and DEL; UTF-8 passes
  kNonAscii,  // every byte outside 0x20 ... 0x7e
};

std::string Escaped(std::string_view text, EscapeSet set);

}  // namespace devidoriv::tool
