// The typed name in the directory's search filter: whatever was typed, the
// escaped value holds no byte that could open, close or widen the filter,
// and reads back as exactly the bytes typed.
#include <string>

#include "fuzz_check.h"
#include "web/directory/ldap_filter.h"

using ostrand::fuzz::Check;

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view typed = ostrand::fuzz::AsText(data, size);
  const std::string escaped = ostrand::web::EscapeFilterValue(typed);
  std::string back;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    Check(c >= 0x20 && c <= 0x7e, "the escaped value is printable ASCII");
    Check(c != '*' && c != '(' && c != ')', "no wildcard or parenthesis stays unescaped");
    if (c != '\\') {
      back += c;
      continue;
    }
    const int high = i + 1 < escaped.size() ? HexDigit(escaped[i + 1]) : -1;
    const int low = i + 2 < escaped.size() ? HexDigit(escaped[i + 2]) : -1;
    Check(high >= 0 && low >= 0, "an escape is a backslash and two hex digits");
    back += static_cast<char>(high * 16 + low);
    i += 2;
  }
  Check(back == typed, "the escaped value reads back as the typed name");
  Check(ostrand::web::FilterForName("(uid=%s)", typed) == "(uid=" + escaped + ")",
        "the name fills the filter's place and nothing else");
  return 0;
}
