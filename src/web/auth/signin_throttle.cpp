#include "web/auth/signin_throttle.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <vector>

namespace ostrand::web {
namespace {

using std::chrono::milliseconds;

// first * 2^steps, no longer than `longest`, without overflowing.
milliseconds Doubled(milliseconds first, int steps, milliseconds longest) {
  milliseconds delay = first;
  for (int i = 0; i < steps && delay < longest; ++i) delay *= 2;
  return std::min(delay, longest);
}

}  // namespace

SignInThrottle::Entry* SignInThrottle::Current(Table& table, std::string_view key, TimePoint now) {
  const auto found = table.find(std::string(key));
  if (found == table.end()) return nullptr;
  if (now >= found->second.window_start + rules_.window) {
    table.erase(found);
    return nullptr;
  }
  return &found->second;
}

milliseconds SignInThrottle::Wait(const ThrottleRule& rule, const Entry* entry,
                                  TimePoint now) const {
  if (entry == nullptr || entry->failures <= rule.free_failures) return milliseconds(0);
  const TimePoint ready =
      entry->failures >= rule.cap
          ? entry->window_start + rules_.window
          : entry->last_failure + Doubled(rule.first_delay,
                                          entry->failures - rule.free_failures - 1,
                                          rule.longest_delay);
  if (ready <= now) return milliseconds(0);
  return std::chrono::ceil<milliseconds>(ready - now);
}

void SignInThrottle::Forget(Table& table, TimePoint now) {
  std::erase_if(table,
                [&](const auto& item) { return now >= item.second.window_start + rules_.window; });
  if (table.size() < rules_.max_entries) return;
  // Still full of live windows: drop the oldest tenth at once, so that a
  // flood of new keys costs a sweep only now and then.
  std::vector<TimePoint> starts;
  starts.reserve(table.size());
  for (const auto& item : table) starts.push_back(item.second.window_start);
  const std::size_t drop = std::max<std::size_t>(table.size() / 10, 1);
  std::nth_element(starts.begin(), starts.begin() + static_cast<std::ptrdiff_t>(drop - 1),
                   starts.end());
  const TimePoint cut = starts[drop - 1];
  std::erase_if(table, [&](const auto& item) { return item.second.window_start <= cut; });
}

SignInThrottle::Entry& SignInThrottle::Touch(Table& table, std::string_view key, TimePoint now) {
  Entry* entry = Current(table, key, now);
  if (entry == nullptr) {
    if (table.size() >= rules_.max_entries) Forget(table, now);
    entry = &table[std::string(key)];
    entry->window_start = now;
  }
  return *entry;
}

SignInThrottle::Verdict SignInThrottle::Admit(std::string_view address, std::string_view account,
                                              TimePoint now) {
  Verdict verdict;
  const Entry* by_address = Current(addresses_, address, now);
  verdict.fresh_address = by_address == nullptr || by_address->failures == 0;
  milliseconds wait = Wait(rules_.address, by_address, now);
  if (by_address != nullptr && by_address->in_flight >= rules_.max_in_flight) {
    wait = std::max(wait, milliseconds(1));
  }
  if (!verdict.fresh_address) {
    wait = std::max(wait, Wait(rules_.account, Current(accounts_, account, now), now));
  }
  if (wait > milliseconds(0)) {
    verdict.retry_after =
        std::max(std::chrono::ceil<std::chrono::seconds>(wait), std::chrono::seconds(1));
    return verdict;
  }
  ++Touch(addresses_, address, now).in_flight;
  verdict.admitted = true;
  return verdict;
}

void SignInThrottle::Done(std::string_view address, std::string_view account, bool failed,
                          TimePoint now) {
  const auto found = addresses_.find(std::string(address));
  if (found != addresses_.end() && found->second.in_flight > 0) --found->second.in_flight;
  if (!failed) return;
  for (auto [table, key] : {std::pair{&addresses_, address}, std::pair{&accounts_, account}}) {
    Entry& entry = Touch(*table, key, now);
    ++entry.failures;
    entry.last_failure = now;
  }
}

std::string ClientAddressKey(std::string_view address) {
  std::string text(address.substr(0, 64));
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return text;
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return text;
  std::array<char, INET6_ADDRSTRLEN> out{};
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    std::copy_n(v6.s6_addr + 12, 4, reinterpret_cast<unsigned char*>(&v4));
    inet_ntop(AF_INET, &v4, out.data(), out.size());
    return out.data();
  }
  std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
  inet_ntop(AF_INET6, &v6, out.data(), out.size());
  return std::string(out.data()) + "/64";
}

}  // namespace ostrand::web
