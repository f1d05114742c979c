// SignInThrottle: how often a client may try a password. Pure bookkeeping:
// no clock, no locks, no I/O; the caller passes the time and serialises the
// calls (SignInGate does both).
//
// Many people may share one address (an office behind one NAT, every
// client of a reverse proxy), so failures are counted where they say
// something about the one who tries:
//   - per address and account: the guesser's own trail;
//   - per account, from every address: it holds back only an address that
//     has failed on that account itself, so guessers elsewhere slow each
//     other down but cannot lock the person out;
//   - per address, the accounts it has failed on: an address that tries
//     many accounts (spraying one password over a staff list) waits for the
//     window's end once it reaches `address_accounts`;
//   - per device: a browser that signed in before carries a signed device
//     cookie (session_cookie.h) naming its account; for that account it is
//     held only by its own failures, never by the address's or the
//     account's, so a proven browser gets in while others guess.
// Each count lives in a window that starts at its first entry. Per rule:
//   - the first `free_failures` failures cost nothing (typing mistakes);
//   - after each further one the next attempt must wait, first
//     `first_delay`, doubling up to `longest_delay`;
//   - after `cap` failures every attempt waits for the window to end.
//
// An admitted attempt is in flight until the caller reports it Done, failed
// or not, so that a burst of parallel guesses cannot slip past the failures
// it has yet to record: an address and an account have at most
// `max_pair_in_flight` at once, and so has a device; an address has at most
// `max_in_flight` on accounts it has failed on, and apart from those at
// most `max_new_in_flight` on accounts it has not, so that guessers who
// keep failing cannot take the places of colleagues signing in.
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
  // Failures of one address on one account.
  ThrottleRule pair{2, std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 20};
  // Failures on one account, from any address.
  ThrottleRule account{2, std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 50};
  // Failures of one device cookie.
  ThrottleRule device{2, std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 10};
  // Accounts one address may fail on in a window before its attempts
  // without a device cookie wait for the window's end.
  int address_accounts = 50;
  // Attempts being checked at the same time (see above).
  int max_in_flight = 8;
  int max_new_in_flight = 16;
  int max_pair_in_flight = 4;
  // Keys remembered at most per table (addresses, accounts, pairs,
  // devices); beyond that the oldest windows are forgotten first.
  std::size_t max_entries = 100000;
};

class SignInThrottle {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  struct Attempt {
    std::string_view address;  // ClientAddressKey of the client
    std::string_view account;  // SignInTarget::account_key
    // The id of the browser's device cookie when that cookie was issued for
    // this very account; empty otherwise (no cookie, a forged one, or one of
    // another account: no different from a new browser).
    std::string_view device;
  };

  struct Verdict {
    bool admitted = false;
    // When refused: how long until an attempt may be admitted (at least 1 s).
    std::chrono::seconds retry_after{0};
    // Nothing marks the attempt as suspect (a proven device without
    // failures, or an address without any): it may be checked first.
    bool goes_first = false;
    // The address had not failed on the account (counted apart in flight).
    bool new_pair = false;
  };

  explicit SignInThrottle(const ThrottleRules& rules) : rules_(rules) {}
  SignInThrottle(const SignInThrottle&) = delete;
  SignInThrottle& operator=(const SignInThrottle&) = delete;

  // Whether the attempt may be checked now; when it may, it is in flight
  // until Done.
  Verdict Admit(const Attempt& attempt, TimePoint now);
  // Ends an admitted attempt (with the verdict Admit gave it): `failed`
  // counts a failure at `now` (a wrong password; not a success, nor an
  // attempt that was never checked) against its device when it had one,
  // else against its address and account.
  void Done(const Attempt& attempt, const Verdict& verdict, bool failed, TimePoint now);

  // Forgets the failures counted on the account, from every address (an
  // administrator lifted them); attempts in flight stay counted. An
  // address's count of accounts it failed on and the failures of device
  // cookies stay as they are.
  void Lift(std::string_view account);

 private:
  struct Entry {
    TimePoint window_start{};
    TimePoint last_failure{};
    int failures = 0;  // of an address: the accounts it failed on
    int in_flight = 0;
    int new_in_flight = 0;  // of an address: on accounts it has not failed on
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
  Table pairs_;
  Table devices_;
};

// The key under which a client address is throttled: an IPv4 address as
// it is (also when written IPv4-mapped, "::ffff:1.2.3.4"), an IPv6 address
// by its /64 prefix (one site's or one machine's share), and any other
// text as given, cut to 64 bytes.
std::string ClientAddressKey(std::string_view address);

}  // namespace ostrand::web
