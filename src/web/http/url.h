// Percent-encoding of URL text: the one encoder for every value that goes
// into a link or a Location header, and the decoder of request paths, query
// strings and form bodies. Plain functions on text, so that any input can be
// thrown at them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace ostrand::web::http {

// Appends `text` with every byte outside A-Z a-z 0-9 - . _ ~ / written as
// %XX (upper-case hex), so that it can stand as a query value in a link:
// "/schedule/a.asp?dt=1" becomes "/schedule/a.asp%3Fdt%3D1". The result is
// ASCII; escape it for HTML (core/html.h) where it goes into markup.
void AppendPercentEncoded(std::string& out, std::string_view text);
std::string PercentEncode(std::string_view text);

// A link to `path` with a query: "path?name=value&name=value", each value
// percent-encoded (the names are the host's own and go in as they are).
struct QueryItem {
  std::string_view name;
  std::string_view value;
};
std::string LinkWithQuery(std::string_view path, std::initializer_list<QueryItem> items);

// `text` with each %XX (either case of hex) turned into its byte; with
// `plus_is_space` (query strings and form bodies) '+' reads as a space. A
// '%' not followed by two hex digits stays as it is. Never fails; the result
// may hold any byte, NUL and line breaks included.
std::string PercentDecode(std::string_view text, bool plus_is_space);

// A request target split at the first '?': the path (still encoded) and the
// query text after the '?' (empty when there is none). A '#' and what follows
// it are dropped.
struct TargetParts {
  std::string_view path;
  std::string_view query;
};
TargetParts SplitTarget(std::string_view target);

}  // namespace ostrand::web::http
