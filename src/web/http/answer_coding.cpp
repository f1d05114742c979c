#include "web/http/answer_coding.h"

#include <algorithm>
#include <array>

#include "core/text.h"
#include "web/http/content_encoder.h"

namespace ostrand::web::http {
namespace {

Header* FindHeader(Response& response, std::string_view name) {
  for (Header& header : response.headers) {
    if (EqualsNoCase(header.name, name)) return &header;
  }
  return nullptr;
}

// Adds Accept-Encoding to the answer's Vary, once.
void AddVary(Response& response) {
  Header* const vary = FindHeader(response, "Vary");
  if (vary == nullptr) return response.AddHeader("Vary", "Accept-Encoding");
  std::size_t from = 0;
  const std::string_view list = vary->value;
  while (from <= list.size()) {
    const std::size_t comma = std::min(list.find(',', from), list.size());
    const std::string_view item = TrimSpacesAndTabs(list.substr(from, comma - from));
    if (item == "*" || EqualsNoCase(item, "Accept-Encoding")) return;
    from = comma + 1;
  }
  vary->value += ", Accept-Encoding";
}

void RemoveHeader(Response& response, std::string_view name) {
  std::erase_if(response.headers,
                [name](const Header& header) { return EqualsNoCase(header.name, name); });
}

// Whether If-None-Match names the coded form of `etag` (a 304 then
// confirms the form the client holds).
bool NamesCodedTag(std::string_view if_none_match, std::string_view etag, ContentCoding coding) {
  if (coding == ContentCoding::kIdentity) return false;
  const std::string coded = CodedEntityTag(etag, coding);
  if (coded == etag) return false;
  std::string_view opaque = coded;
  if (opaque.starts_with("W/")) opaque.remove_prefix(2);
  return if_none_match.find(opaque) != std::string_view::npos;
}

}  // namespace

bool CompressibleType(std::string_view content_type) {
  const std::string_view media = TrimSpacesAndTabs(content_type.substr(0, content_type.find(';')));
  if (StartsWithNoCase(media, "text/")) return true;
  constexpr std::array<std::string_view, 6> kTypes = {
      "application/json", "application/javascript", "application/xml",
      "image/svg+xml",    "application/xhtml+xml",  "application/ecmascript"};
  for (const std::string_view type : kTypes) {
    if (EqualsNoCase(media, type)) return true;
  }
  return StartsWithNoCase(media, "application/") &&
         (EndsWithNoCase(media, "+json") || EndsWithNoCase(media, "+xml"));
}

AskedCoding AskedCoding::Of(const Request& request) {
  AskedCoding asked;
  asked.choice = ChooseCoding(request.HeaderValue("Accept-Encoding"));
  asked.range = !request.HeaderValue("Range").empty();
  asked.if_none_match = std::string(request.HeaderValue("If-None-Match"));
  return asked;
}

void EncodeAnswer(const AskedCoding& asked, Response& response,
                  const PrecompressedBody& precompressed) {
  if (FindHeader(response, "Content-Encoding") != nullptr) return;
  if (response.status == 304) {
    AddVary(response);
    // The form the client holds, when it holds the coded one.
    Header* const etag = FindHeader(response, "ETag");
    if (etag != nullptr && NamesCodedTag(asked.if_none_match, etag->value, asked.choice.coding)) {
      etag->value = CodedEntityTag(etag->value, asked.choice.coding);
    }
    return;
  }
  if (!CompressibleType(response.content_type())) return;
  AddVary(response);
  const ContentCoding coding = asked.choice.coding;
  const std::string_view body = response.body();
  if (coding == ContentCoding::kIdentity || asked.range || response.status == 206 ||
      response.status == 204 || response.status < 200 || body.empty() ||
      FindHeader(response, "Content-Range") != nullptr) {
    return;
  }
  if (body.size() < kSmallestEncodedBody && asked.choice.identity_acceptable) return;
  const std::string type(response.content_type());
  const std::optional<std::string_view> ready =
      precompressed ? precompressed(coding) : std::nullopt;
  if (ready) {
    response.SetStaticBody(type, *ready);
  } else {
    response.SetBody(type, EncodeBody(coding, Effort::kAnswer, body));
  }
  response.AddHeader("Content-Encoding", CodingName(coding));
  if (Header* const tag = FindHeader(response, "ETag")) tag->value = CodedEntityTag(tag->value, coding);
  RemoveHeader(response, "Accept-Ranges");
}

std::string CodedEntityTag(std::string_view etag, ContentCoding coding) {
  if (coding == ContentCoding::kIdentity || etag.size() < 2 || etag.back() != '"') {
    return std::string(etag);
  }
  std::string coded(etag.substr(0, etag.size() - 1));
  coded += '-';
  coded += CodingName(coding);
  coded += '"';
  return coded;
}

std::string_view UncodedOpaqueTag(std::string_view opaque) {
  for (const ContentCoding coding : OfferedCodings()) {
    const std::string_view name = CodingName(coding);
    if (opaque.size() > name.size() + 1 && opaque.ends_with(name) &&
        opaque[opaque.size() - name.size() - 1] == '-') {
      return opaque.substr(0, opaque.size() - name.size() - 1);
    }
  }
  return opaque;
}

}  // namespace ostrand::web::http
