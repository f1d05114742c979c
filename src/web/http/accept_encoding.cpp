#include "web/http/accept_encoding.h"

#include <array>
#include <optional>

#include "core/text.h"

namespace ostrand::web::http {
namespace {

constexpr std::array<ContentCoding, 3> kOffered = {ContentCoding::kZstd, ContentCoding::kBrotli,
                                                   ContentCoding::kGzip};

// A weight in thousandths: "0", "0.5", "1", "1.000"; nothing for anything else.
std::optional<int> ReadWeight(std::string_view text) {
  if (text.empty() || (text[0] != '0' && text[0] != '1')) return std::nullopt;
  int whole = text[0] - '0';
  if (text.size() == 1) return whole * 1000;
  if (text[1] != '.' || text.size() > 5) return std::nullopt;
  int thousandths = 0;
  int scale = 100;
  for (const char c : text.substr(2)) {
    if (c < '0' || c > '9') return std::nullopt;
    thousandths += (c - '0') * scale;
    scale /= 10;
  }
  if (whole == 1 && thousandths != 0) return std::nullopt;
  return whole * 1000 + thousandths;
}

struct Entry {
  std::string_view coding;
  int weight = 1000;
};

// One entry of the list: a coding and its optional weight.
std::optional<Entry> ReadEntry(std::string_view item) {
  const std::size_t semicolon = item.find(';');
  Entry entry{TrimSpacesAndTabs(item.substr(0, semicolon)), 1000};
  if (entry.coding.empty()) return std::nullopt;
  for (const char c : entry.coding) {
    const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '+' || c == '*';
    if (!token) return std::nullopt;
  }
  if (semicolon == std::string_view::npos) return entry;
  const std::string_view parameter = TrimSpacesAndTabs(item.substr(semicolon + 1));
  const std::size_t equals = parameter.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  if (!EqualsNoCase(TrimSpacesAndTabs(parameter.substr(0, equals)), "q")) return std::nullopt;
  const std::optional<int> weight = ReadWeight(TrimSpacesAndTabs(parameter.substr(equals + 1)));
  if (!weight) return std::nullopt;
  entry.weight = *weight;
  return entry;
}

bool Names(std::string_view token, ContentCoding coding) {
  if (EqualsNoCase(token, CodingName(coding))) return true;
  return coding == ContentCoding::kGzip && EqualsNoCase(token, "x-gzip");
}

}  // namespace

std::string_view CodingName(ContentCoding coding) {
  switch (coding) {
    case ContentCoding::kZstd:
      return "zstd";
    case ContentCoding::kBrotli:
      return "br";
    case ContentCoding::kGzip:
      return "gzip";
    case ContentCoding::kIdentity:
      break;
  }
  return "identity";
}

std::span<const ContentCoding> OfferedCodings() { return kOffered; }

CodingChoice ChooseCoding(std::string_view header, std::span<const ContentCoding> offered) {
  // The weight of each offered coding, of identity and of "*" (-1: not named).
  std::array<int, 4> named = {-1, -1, -1, -1};
  int identity = -1;
  int any = -1;
  std::size_t from = 0;
  while (from < header.size()) {
    const std::size_t comma = std::min(header.find(',', from), header.size());
    const std::optional<Entry> entry = ReadEntry(header.substr(from, comma - from));
    from = comma + 1;
    if (!entry) continue;
    if (entry->coding == "*") {
      if (any < 0) any = entry->weight;
      continue;
    }
    if (EqualsNoCase(entry->coding, "identity")) {
      if (identity < 0) identity = entry->weight;
      continue;
    }
    for (std::size_t i = 0; i < offered.size() && i < named.size(); ++i) {
      if (Names(entry->coding, offered[i]) && named[i] < 0) named[i] = entry->weight;
    }
  }
  CodingChoice choice;
  choice.identity_acceptable = identity >= 0 ? identity > 0 : any != 0;
  int best = 0;
  for (std::size_t i = 0; i < offered.size() && i < named.size(); ++i) {
    const int weight = named[i] >= 0 ? named[i] : (any >= 0 ? any : 0);
    if (weight > best) {
      best = weight;
      choice.coding = offered[i];
    }
  }
  return choice;
}

}  // namespace ostrand::web::http
