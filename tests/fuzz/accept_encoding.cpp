// The Accept-Encoding of a request. Any text reads without failing; the
// coding chosen is one the text names (or "*" covers), a coding the text
// refuses first is never chosen, and one named first with full weight wins
// when it is the most preferred.
#include <string>

#include "core/text.h"
#include "fuzz_check.h"
#include "web/http/accept_encoding.h"

using ostrand::fuzz::Check;
namespace http = ostrand::web::http;

namespace {

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (ostrand::EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  const http::CodingChoice choice = http::ChooseCoding(text);
  if (choice.coding != http::ContentCoding::kIdentity) {
    Check(ContainsNoCase(text, http::CodingName(choice.coding)) || text.find('*') != text.npos,
          "a coding is chosen only when the header names it or says *");
  }
  for (const http::ContentCoding coding : http::OfferedCodings()) {
    const std::string refused = std::string(http::CodingName(coding)) + ";q=0, " + std::string(text);
    Check(http::ChooseCoding(refused).coding != coding, "a refused coding is never chosen");
  }
  Check(http::ChooseCoding("zstd, " + std::string(text)).coding == http::ContentCoding::kZstd,
        "the preferred coding named first with full weight wins");
  Check(!http::ChooseCoding("identity;q=0, " + std::string(text)).identity_acceptable,
        "identity refused first stays refused");
  return 0;
}
