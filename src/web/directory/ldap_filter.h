// The typed name in an LDAP search filter. The name is outside text: in
// the filter it is an assertion value, escaped so that no byte of it can
// open, close or widen the filter (`*)(uid=*` stays one literal name).
#pragma once

#include <string>
#include <string_view>

namespace ostrand::web {

// `value` as an assertion value of a search filter: `*` `(` `)` `\` and
// every byte outside printable ASCII (NUL, controls, DEL, each byte of a
// UTF-8 sequence) become a backslash and two lower-case hex digits
// ("\2a", "\00", "\c3\a9"); the other bytes stay as they are. The
// directory compares the unescaped octets, so a UTF-8 name still matches.
std::string EscapeFilterValue(std::string_view value);

// `pattern` (the operator's filter, "(uid=%s)") with every "%s" replaced by
// the escaped `name`; the rest of the pattern is kept as written.
std::string FilterForName(std::string_view pattern, std::string_view name);

}  // namespace ostrand::web
