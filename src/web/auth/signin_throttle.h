// SignInThrottle: how often a client address and an account may try a
// password. Pure bookkeeping: no clock, no locks, no I/O; the caller passes
// the time and serialises the calls (SignInGate does both).
//
// An admitted attempt is in flight until the caller reports it Done, failed
// or not; an address may have a few attempts in flight at once (colleagues
// behind one address signing in together), so that a burst of parallel
// guesses cannot slip past the failures it has yet to record. Per address
// and per account, within a window that starts at its first failure:
//   - the first `free_failures` failures cost nothing (typing mistakes);
//   - after each further one the next attempt must wait, first
//     `first_delay`, doubling up to `longest_delay`;
//   - after `cap` failures every attempt waits for the window to end.
// The account rule does not hold back an address that has no failure in
// its window: guessers on other addresses slow each other down on a
// person's account, but cannot lock that person out.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ostrand::web {

struct ThrottleRule {
  int free_failures = 2;
  std::chrono::milliseconds first_delay{1000};
  std::chrono::milliseconds longest_delay{60000};
  int cap = 20;
};

struct ThrottleRules {
  std::chrono::seconds window{15 * 60};
  ThrottleRule address{2, std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 20};
  ThrottleRule account{2, std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 50};
  // Attempts of one address being checked at the same time.
  int max_in_flight = 8;
  // Addresses and accounts remembered at most (each); beyond that the
  // oldest windows are forgotten first.
  std::size_t max_entries = 100000;
};

class SignInThrottle {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  struct Verdict {
    bool admitted = false;
    // When refused: how long until an attempt may be admitted (at least 1 s).
    std::chrono::seconds retry_after{0};
    // The address had no failure in its window: its attempt may go first.
    bool fresh_address = false;
  };

  explicit SignInThrottle(const ThrottleRules& rules) : rules_(rules) {}
  SignInThrottle(const SignInThrottle&) = delete;
  SignInThrottle& operator=(const SignInThrottle&) = delete;

  // Whether an attempt of `address` on `account` may be checked now; when
  // it may, it is in flight until Done.
  Verdict Admit(std::string_view address, std::string_view account, TimePoint now);
  // Ends an admitted attempt: `failed` counts a failure of its address and
  // its account at `now` (a wrong password; not a success, nor an attempt
  // that was never checked).
  void Done(std::string_view address, std::string_view account, bool failed, TimePoint now);

 private:
  struct Entry {
    TimePoint window_start{};
    TimePoint last_failure{};
    int failures = 0;
    int in_flight = 0;
  };
  using Table = std::unordered_map<std::string, Entry>;

  // The entry's failures within the window at `now` (an ended window is
  // forgotten).
  Entry* Current(Table& table, std::string_view key, TimePoint now);
  // How long the rule still holds back a key with that entry (zero: not).
  std::chrono::milliseconds Wait(const ThrottleRule& rule, const Entry* entry, TimePoint now) const;
  // The entry of `key`, made when missing.
  Entry& Touch(Table& table, std::string_view key, TimePoint now);
  void Forget(Table& table, TimePoint now);

  ThrottleRules rules_;
  Table addresses_;
  Table accounts_;
};

// The key under which a client address is throttled: an IPv4 address as
// it is (also when written IPv4-mapped, "::ffff:1.2.3.4"), an IPv6 address
// by its /64 prefix (one site's or one machine's share), and any other
// text as given, cut to 64 bytes.
std::string ClientAddressKey(std::string_view address);

}  // namespace ostrand::web
