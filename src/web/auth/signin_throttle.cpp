#include "web/auth/signin_throttle.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <vector>

#include "core/text.h"

namespace ostrand::web {
namespace {

using std::chrono::milliseconds;

// first * 2^steps, no longer than `longest`, without overflowing.
milliseconds Doubled(milliseconds first, int steps, milliseconds longest) {
  milliseconds delay = first;
  for (int i = 0; i < steps && delay < longest; ++i) delay *= 2;
  return std::min(delay, longest);
}

// One address's attempts on one account; the address's length first, so
// that no two pairs share a key whatever either text holds.
std::string PairKey(std::string_view address, std::string_view account) {
  std::string key = std::to_string(address.size());
  key += ':';
  key += address;
  key += account;
  return key;
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

SignInThrottle::Verdict SignInThrottle::Admit(const Attempt& attempt, TimePoint now) {
  Verdict verdict;
  milliseconds wait(0);
  const auto hold = [&wait](milliseconds more) { wait = std::max(wait, more); };
  std::string pair_key;
  if (!attempt.device.empty()) {
    const Entry* device = Current(devices_, attempt.device, now);
    hold(Wait(rules_.device, device, now));
    if (device != nullptr && device->in_flight >= rules_.max_pair_in_flight) hold(milliseconds(1));
    verdict.goes_first = device == nullptr || device->failures == 0;
  } else {
    pair_key = PairKey(attempt.address, attempt.account);
    const Entry* pair = Current(pairs_, pair_key, now);
    const Entry* address = Current(addresses_, attempt.address, now);
    verdict.new_pair = pair == nullptr || pair->failures == 0;
    hold(Wait(rules_.pair, pair, now));
    if (!verdict.new_pair) hold(Wait(rules_.account, Current(accounts_, attempt.account, now), now));
    if (address != nullptr && address->failures >= rules_.address_accounts) {
      hold(std::chrono::ceil<milliseconds>(address->window_start + rules_.window - now));
    }
    if (pair != nullptr && pair->in_flight >= rules_.max_pair_in_flight) hold(milliseconds(1));
    if (address != nullptr &&
        (verdict.new_pair ? address->new_in_flight >= rules_.max_new_in_flight
                          : address->in_flight >= rules_.max_in_flight)) {
      hold(milliseconds(1));
    }
    verdict.goes_first = address == nullptr || address->failures == 0;
  }
  if (wait > milliseconds(0)) {
    verdict.goes_first = false;
    verdict.retry_after =
        std::max(std::chrono::ceil<std::chrono::seconds>(wait), std::chrono::seconds(1));
    return verdict;
  }
  if (!attempt.device.empty()) {
    ++Touch(devices_, attempt.device, now).in_flight;
  } else {
    ++Touch(pairs_, pair_key, now).in_flight;
    Entry& address = Touch(addresses_, attempt.address, now);
    ++(verdict.new_pair ? address.new_in_flight : address.in_flight);
  }
  verdict.admitted = true;
  return verdict;
}

void SignInThrottle::Done(const Attempt& attempt, const Verdict& verdict, bool failed,
                          TimePoint now) {
  const auto release = [](Table& table, std::string_view key, int Entry::*count) {
    const auto found = table.find(std::string(key));
    if (found != table.end() && found->second.*count > 0) --(found->second.*count);
  };
  const auto count_failure = [&](Table& table, std::string_view key) -> Entry& {
    Entry& entry = Touch(table, key, now);
    ++entry.failures;
    entry.last_failure = now;
    return entry;
  };
  if (!attempt.device.empty()) {
    release(devices_, attempt.device, &Entry::in_flight);
    if (failed) count_failure(devices_, attempt.device);
    return;
  }
  const std::string pair_key = PairKey(attempt.address, attempt.account);
  release(pairs_, pair_key, &Entry::in_flight);
  release(addresses_, attempt.address, verdict.new_pair ? &Entry::new_in_flight : &Entry::in_flight);
  if (!failed) return;
  // The address's count is of accounts: only a pair's first failure adds.
  if (count_failure(pairs_, pair_key).failures == 1) count_failure(addresses_, attempt.address);
  count_failure(accounts_, attempt.account);
}

void SignInThrottle::Lift(std::string_view account) {
  if (const auto found = accounts_.find(std::string(account)); found != accounts_.end()) {
    found->second.failures = 0;
  }
  for (auto& [key, entry] : pairs_) {
    // PairKey: the address's length, ':', the address, the account.
    const std::size_t colon = key.find(':');
    const std::optional<std::int64_t> length =
        ReadWholeNumber(std::string_view(key).substr(0, colon), 1 << 20);
    if (!length || colon + 1 + static_cast<std::size_t>(*length) > key.size()) continue;
    if (std::string_view(key).substr(colon + 1 + static_cast<std::size_t>(*length)) == account) {
      entry.failures = 0;
    }
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
