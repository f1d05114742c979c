#include "web/http/form_fields.h"

#include "core/text.h"
#include "web/http/request_error.h"
#include "web/http/url.h"

namespace ostrand::web::http {

FormFields ParseFields(std::string_view text) {
  FormFields fields;
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view pair = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (pair.empty()) continue;
    if (++count > kMaxFields) {
      throw RequestError(RequestError::Rule::kTooManyFields, {std::to_string(kMaxFields)},
                         "The request holds more than " + std::to_string(kMaxFields) + " fields.");
    }
    const std::size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    fields.emplace(PercentDecode(name, true), PercentDecode(value, true));
  }
  return fields;
}

FormFields FormOf(const Request& request) {
  if (!StartsWithNoCase(request.HeaderValue("Content-Type"), "application/x-www-form-urlencoded")) {
    return {};
  }
  return ParseFields(request.body);
}

std::optional<std::string> FindField(const FormFields& fields, std::string_view name) {
  const auto found = fields.find(std::string(name));
  if (found == fields.end()) return std::nullopt;
  return found->second;
}

std::string FieldOrEmpty(const FormFields& fields, std::string_view name) {
  return FindField(fields, name).value_or(std::string());
}

}  // namespace ostrand::web::http
