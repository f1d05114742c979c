// What the HTTP core reads from a request's text: cookies, query strings
// and form bodies, percent-encoding, the request target, the Range header,
// and the escaping of request text for the access log. Each reads any text
// without failing (a form of too many fields is a 400) and keeps its
// promise: encoded text decodes to itself, a byte range lies in the file,
// a log field holds no control character, space or ill-formed byte.
#include "core/utf8.h"
#include "fuzz_check.h"
#include "web/http/byte_range.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/http/request_error.h"
#include "web/http/log_text.h"
#include "web/http/url.h"

using ostrand::fuzz::Check;
namespace http = ostrand::web::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);

  if (const std::optional<std::string_view> value = http::FindCookie(text, "ostrand_session")) {
    Check(value->data() >= text.data() && value->data() + value->size() <= text.data() + size,
          "a cookie's value lies within its header");
  }
  try {
    const http::FormFields fields = http::ParseFields(text);
    Check(fields.size() <= http::kMaxFields, "a form holds at most kMaxFields fields");
  } catch (const ostrand::web::http::RequestError& e) {
    Check(e.status() == 400, "too many fields is a bad request");
  }
  Check(http::PercentDecode(http::PercentEncode(text), false) == text,
        "percent-encoded text decodes to itself");
  const http::TargetParts parts = http::SplitTarget(text);
  Check(parts.path.size() + parts.query.size() <= size, "a target's parts lie within it");

  const std::size_t file_size = size == 0 ? 0 : data[0] * 37u;
  const http::RangeAnswer range = http::AnswerRange(text, file_size);
  if (range.kind == http::RangeAnswer::Kind::kPart) {
    Check(range.first <= range.last && range.last < file_size, "a part lies within the file");
  }

  const std::string logged = http::LogText(text);
  Check(ostrand::IsValidUtf8(logged), "a log field is UTF-8");
  Check(!ostrand::HasControlCharacter(logged) && logged.find(' ') == std::string::npos &&
            logged.find('"') == std::string::npos,
        "a log field holds no control character, space or quote");
  return 0;
}
