#include "web/auth/session_cookie.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <list>
#include <mutex>
#include <nlohmann/json.hpp>
#include <span>
#include <unordered_map>
#include <vector>

#include "core/error.h"
#include "core/sodium_start.h"
#include "web/http/request_values.h"

namespace ostrand::web {
namespace {

using Json = nlohmann::json;

// Fills `out` with random bytes from a pool this thread keeps, drawn from
// the system's generator a kilobyte at a time: a page masks its CSRF token
// afresh on every answer, and one system call per answer showed. Bytes
// handed out are wiped from the pool.
void FillMaskBytes(std::span<char> out) {
  constexpr std::size_t kPoolBytes = 1024;
  struct Pool {
    std::array<unsigned char, kPoolBytes> bytes{};
    std::size_t used = kPoolBytes;
    ~Pool() { sodium_memzero(bytes.data(), bytes.size()); }
  };
  thread_local Pool pool;
  std::size_t done = 0;
  while (done < out.size()) {
    if (pool.used == kPoolBytes) {
      randombytes_buf(pool.bytes.data(), pool.bytes.size());
      pool.used = 0;
    }
    const std::size_t take = std::min(out.size() - done, kPoolBytes - pool.used);
    std::memcpy(out.data() + done, pool.bytes.data() + pool.used, take);
    sodium_memzero(pool.bytes.data() + pool.used, take);
    pool.used += take;
    done += take;
  }
}

std::string ToBase64(std::string_view bytes) { return UrlSafeBase64(bytes); }

std::optional<std::string> FromBase64(std::string_view text) {
  std::string out(text.size(), '\0');
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                        text.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0 ||
      end != text.data() + text.size()) {
    return std::nullopt;
  }
  out.resize(length);
  return out;
}

Json ItemToJson(const Value& value) {
  switch (value.kind()) {
    case Kind::kNull:
      return nullptr;
    case Kind::kBool:
      return value.ToNumber() != 0;
    case Kind::kInt16:
    case Kind::kInt32:
      return static_cast<std::int64_t>(value.ToNumber());
    case Kind::kSingle:
    case Kind::kDouble:
      return value.ToNumber();
    default:
      return value.ToText();  // text, and dates as their text
  }
}

Value ItemFromJson(const Json& json) {
  if (json.is_null()) return Value::Null();
  if (json.is_boolean()) return Value::Bool(json.get<bool>());
  if (json.is_number_integer()) {
    const std::int64_t i = json.get<std::int64_t>();
    if (i >= INT32_MIN && i <= INT32_MAX) return Value::Int32(static_cast<std::int32_t>(i));
    return Value::Double(static_cast<double>(i));
  }
  if (json.is_number()) return Value::Double(json.get<double>());
  if (json.is_string()) return Value::Text(json.get<std::string>());
  throw Error("unexpected session item");
}

}  // namespace

std::string UrlSafeBase64(std::string_view bytes) {
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING),
                  '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  out.resize(out.size() - 1);  // the terminating NUL
  return out;
}

// Cookie values whose signature held, with what they opened to, the most
// recently used first; beyond kCapacity the oldest is forgotten.
struct SessionSigner::OpenedCookies {
  static constexpr std::size_t kCapacity = 4096;
  struct Entry {
    std::string cookie;
    host::MemorySession items;
    std::int64_t expires;
    SessionGeneration generation;
  };

  std::optional<OpenedSession> Find(std::string_view cookie) {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = index.find(cookie);
    if (found == index.end()) return std::nullopt;
    entries.splice(entries.begin(), entries, found->second);
    const Entry& entry = *found->second;
    return OpenedSession{std::make_shared<host::MemorySession>(entry.items), entry.expires,
                         entry.generation};
  }

  void Keep(std::string_view cookie, const OpenedSession& opened) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (index.contains(cookie)) return;
    if (entries.size() >= kCapacity) {
      index.erase(entries.back().cookie);
      entries.pop_back();
    }
    entries.push_front(
        Entry{std::string(cookie), *opened.items, opened.expires, opened.generation});
    index.emplace(entries.front().cookie, entries.begin());
  }

  std::mutex mutex;
  std::list<Entry> entries;
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index;
};

SessionSigner::~SessionSigner() = default;

SessionSigner::SessionSigner(const SecretKey& key) : opened_(std::make_unique<OpenedCookies>()) {
  static_assert(crypto_auth_BYTES == crypto_auth_hmacsha512256_BYTES &&
                crypto_auth_KEYBYTES == crypto_auth_hmacsha512256_KEYBYTES);
  crypto_auth_hmacsha512256_init(&keyed_, key.data(), key.size());
}

std::string SessionSigner::Tag(std::string_view purpose, std::string_view data) const {
  // The purpose keeps a session tag from ever serving as a CSRF token. The
  // tag is crypto_auth's (HMAC-SHA-512-256) of purpose, NUL, data.
  crypto_auth_hmacsha512256_state state = keyed_;
  const unsigned char separator = 0;
  crypto_auth_hmacsha512256_update(&state, reinterpret_cast<const unsigned char*>(purpose.data()),
                                   purpose.size());
  crypto_auth_hmacsha512256_update(&state, &separator, 1);
  crypto_auth_hmacsha512256_update(&state, reinterpret_cast<const unsigned char*>(data.data()),
                                   data.size());
  std::array<unsigned char, crypto_auth_BYTES> tag{};
  crypto_auth_hmacsha512256_final(&state, tag.data());
  return std::string(reinterpret_cast<const char*>(tag.data()), tag.size());
}

std::string SessionSigner::Seal(const host::MemorySession& items, std::int64_t expires,
                                const SessionGeneration& generation) const {
  Json fields = Json::object();
  for (const auto& [lower_key, item] : items.items()) {
    if (item.value.is_empty()) continue;
    if (item.value.kind() == Kind::kObject) {
      throw Error("session item '" + item.key + "' holds an object, which a cookie cannot carry");
    }
    fields[item.key] = ItemToJson(item.value);
  }
  const Json payload = {
      {"exp", expires}, {"gen", {generation.person, generation.all}}, {"items", fields}};
  // Text that is no UTF-8 (a request path may hold any bytes) keeps its
  // valid characters; the rest become U+FFFD rather than failing the page.
  const std::string encoded =
      ToBase64(payload.dump(-1, ' ', false, Json::error_handler_t::replace));
  return encoded + "." + ToBase64(Tag("session", encoded));
}

std::optional<OpenedSession> SessionSigner::Open(std::string_view cookie_value,
                                                 std::int64_t now) const {
  if (std::optional<OpenedSession> known = opened_->Find(cookie_value)) {
    if (known->expires <= now) return std::nullopt;
    return known;
  }
  const std::size_t dot = cookie_value.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view encoded = cookie_value.substr(0, dot);
  const std::optional<std::string> tag = FromBase64(cookie_value.substr(dot + 1));
  if (!tag || !SameText(*tag, Tag("session", encoded))) return std::nullopt;
  const std::optional<std::string> payload = FromBase64(encoded);
  if (!payload) return std::nullopt;
  try {
    const Json json = Json::parse(*payload);
    OpenedSession opened;
    opened.expires = json.at("exp").get<std::int64_t>();
    if (opened.expires <= now) return std::nullopt;
    if (const auto gen = json.find("gen"); gen != json.end()) {
      opened.generation = {gen->at(0).get<std::int64_t>(), gen->at(1).get<std::int64_t>()};
    }
    opened.items = std::make_shared<host::MemorySession>();
    for (const auto& [key, item] : json.at("items").items()) {
      opened.items->Set(key, ItemFromJson(item));
    }
    opened_->Keep(cookie_value, opened);
    return opened;
  } catch (const std::exception&) {
    // Signed by us yet unreadable: an older format, treated as no session.
    return std::nullopt;
  }
}

std::string SessionSigner::CsrfToken(std::string_view rnd) const {
  return ToBase64(Tag("csrf", rnd));
}

bool SessionSigner::CheckCsrfToken(std::string_view rnd, std::string_view token) const {
  return !rnd.empty() && CsrfTokenHolds(CsrfToken(rnd), token);
}

std::string MaskCsrfToken(std::string_view token) {
  const std::optional<std::string> bytes = FromBase64(token);
  if (!bytes || bytes->empty()) throw Error("a CSRF token to mask is no base64 token");
  std::string masked(bytes->size() * 2, '\0');
  FillMaskBytes(std::span<char>(masked.data(), bytes->size()));
  for (std::size_t i = 0; i < bytes->size(); ++i) {
    masked[bytes->size() + i] = static_cast<char>(masked[i] ^ (*bytes)[i]);
  }
  std::string text = ToBase64(masked);
  sodium_memzero(masked.data(), masked.size());
  return text;
}

bool CsrfTokenHolds(std::string_view token, std::string_view sent) {
  if (token.empty() || sent.empty()) return false;
  const std::optional<std::string> bytes = FromBase64(token);
  if (!bytes || bytes->empty()) return false;
  if (sent.size() == token.size()) return SameText(token, sent);
  std::optional<std::string> masked = FromBase64(sent);
  if (!masked || masked->size() != bytes->size() * 2) return false;
  std::string unmasked(bytes->size(), '\0');
  for (std::size_t i = 0; i < bytes->size(); ++i) {
    unmasked[i] = static_cast<char>((*masked)[i] ^ (*masked)[bytes->size() + i]);
  }
  const bool same = SameText(unmasked, *bytes);
  sodium_memzero(unmasked.data(), unmasked.size());
  return same;
}

std::string SessionSigner::SignInToken(std::int64_t now) const {
  const std::string data = RandomToken() + "." + std::to_string(now);
  return data + "." + ToBase64(Tag("signin", data));
}

bool SessionSigner::CheckSignInToken(std::string_view token, std::int64_t now,
                                     std::int64_t lifetime) const {
  const std::size_t last = token.rfind('.');
  if (last == std::string_view::npos) return false;
  const std::string_view data = token.substr(0, last);
  if (!SameText(token.substr(last + 1), ToBase64(Tag("signin", data)))) return false;
  const std::size_t first = data.find('.');
  if (first == std::string_view::npos) return false;
  const std::optional<std::int64_t> issued =
      ReadWholeNumber(data.substr(first + 1), std::numeric_limits<std::int64_t>::max());
  return issued && *issued <= now + 60 && now - *issued <= lifetime;
}

std::string SessionSigner::SealPending(const PendingSignIn& pending) const {
  const Json payload = {{"p", pending.person},
                        {"gen", {pending.generation.person, pending.generation.all}},
                        {"next", pending.next},
                        {"id", pending.id},
                        {"exp", pending.expires}};
  return SealData("pending", payload.dump(-1, ' ', false, Json::error_handler_t::replace),
                  pending.expires);
}

std::optional<PendingSignIn> SessionSigner::OpenPending(std::string_view value,
                                                        std::int64_t now) const {
  const std::optional<std::string> payload = OpenData("pending", value, now);
  if (!payload) return std::nullopt;
  try {
    const Json json = Json::parse(*payload);
    PendingSignIn pending;
    pending.person = json.at("p").get<std::int64_t>();
    pending.generation = {json.at("gen").at(0).get<std::int64_t>(),
                          json.at("gen").at(1).get<std::int64_t>()};
    pending.next = json.at("next").get<std::string>();
    pending.id = json.at("id").get<std::string>();
    pending.expires = json.at("exp").get<std::int64_t>();
    if (pending.id.empty()) return std::nullopt;
    return pending;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string SessionSigner::SealDevice(const DeviceCookie& device) const {
  // The id is a RandomToken and the account goes in base64, so no part
  // holds a dot.
  const std::string data =
      ToBase64(device.account) + "." + device.id + "." + std::to_string(device.expires);
  return data + "." + ToBase64(Tag("device", data));
}

std::optional<DeviceCookie> SessionSigner::OpenDevice(std::string_view value,
                                                      std::int64_t now) const {
  const std::size_t last = value.rfind('.');
  if (last == std::string_view::npos) return std::nullopt;
  const std::string_view data = value.substr(0, last);
  if (!SameText(value.substr(last + 1), ToBase64(Tag("device", data)))) return std::nullopt;
  const std::size_t first = data.find('.');
  const std::size_t second = data.rfind('.');
  if (first == std::string_view::npos || second == first) return std::nullopt;
  std::optional<std::string> account = FromBase64(data.substr(0, first));
  const std::optional<std::int64_t> expires =
      ReadWholeNumber(data.substr(second + 1), std::numeric_limits<std::int64_t>::max());
  const std::string_view id = data.substr(first + 1, second - first - 1);
  if (!account || account->empty() || id.empty() || !expires || *expires <= now) {
    return std::nullopt;
  }
  return DeviceCookie{std::move(*account), std::string(id), *expires};
}

std::string SessionSigner::SealData(std::string_view purpose, std::string_view data,
                                    std::int64_t expires) const {
  const std::string fields = ToBase64(data) + "." + std::to_string(expires);
  return fields + "." + ToBase64(Tag("data:" + std::string(purpose), fields));
}

std::optional<std::string> SessionSigner::OpenData(std::string_view purpose, std::string_view value,
                                                   std::int64_t now) const {
  const std::size_t last = value.rfind('.');
  if (last == std::string_view::npos) return std::nullopt;
  const std::string_view fields = value.substr(0, last);
  if (!SameText(value.substr(last + 1), ToBase64(Tag("data:" + std::string(purpose), fields)))) {
    return std::nullopt;
  }
  const std::size_t dot = fields.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::optional<std::int64_t> expires =
      ReadWholeNumber(fields.substr(dot + 1), std::numeric_limits<std::int64_t>::max());
  if (!expires || *expires <= now) return std::nullopt;
  return FromBase64(fields.substr(0, dot));
}

std::string RandomToken() {
  StartSodium();
  std::array<unsigned char, 16> bytes{};
  randombytes_buf(bytes.data(), bytes.size());
  return ToBase64(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || sodium_memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace ostrand::web
