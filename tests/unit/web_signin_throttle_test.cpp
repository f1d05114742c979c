// The sign-in throttle's rules on a clock of its own, the hash pool's lanes
// and bounds, and the gate that joins them to the password check.
#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <mutex>

#include "web/auth/hash_pool.h"
#include "web/auth/signin_gate.h"
#include "web/auth/signin_throttle.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using TimePoint = SignInThrottle::TimePoint;

const TimePoint kStart{std::chrono::hours(1000)};

// One wrong password (from a browser with that device cookie, if any):
// whether it was admitted (and then counted).
bool Fail(SignInThrottle& throttle, std::string_view address, std::string_view account,
          TimePoint now, std::string_view device = {}) {
  const SignInThrottle::Attempt attempt{address, account, device};
  const SignInThrottle::Verdict verdict = throttle.Admit(attempt, now);
  if (!verdict.admitted) return false;
  throttle.Done(attempt, verdict, true, now);
  return true;
}

SignInThrottle::Verdict Try(SignInThrottle& throttle, std::string_view address,
                            std::string_view account, TimePoint now,
                            std::string_view device = {}) {
  return throttle.Admit({address, account, device}, now);
}

// An admitted attempt that signs in.
void Succeed(SignInThrottle& throttle, std::string_view address, std::string_view account,
             TimePoint now) {
  const SignInThrottle::Verdict verdict = Try(throttle, address, account, now);
  ASSERT_TRUE(verdict.admitted);
  throttle.Done({address, account, {}}, verdict, false, now);
}

TEST(WebSignInThrottle, AddressAndAccountWaitLongerAfterEachFailureUpToTheCap) {
  ThrottleRules rules;
  rules.pair = {2, milliseconds(1000), milliseconds(4000), 6};
  SignInThrottle throttle(rules);
  TimePoint now = kStart;
  // Two failures are free, then each waits twice as long as the last, up to
  // the longest delay.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Fail(throttle, "10.0.0.1", "a", now)) << i;
  const SignInThrottle::Verdict held = Try(throttle, "10.0.0.1", "a", now);
  EXPECT_FALSE(held.admitted);
  EXPECT_EQ(held.retry_after, seconds(1));
  EXPECT_TRUE(Try(throttle, "10.0.0.1", "b", now).admitted) << "another account of the address";
  for (const int wait_ms : {1000, 2000, 4000}) {
    EXPECT_FALSE(Fail(throttle, "10.0.0.1", "a", now + milliseconds(wait_ms - 1)));
    now += milliseconds(wait_ms);
    EXPECT_TRUE(Fail(throttle, "10.0.0.1", "a", now)) << wait_ms;
  }
  // The cap: six failures, then nothing until the window ends.
  const SignInThrottle::Verdict capped = Try(throttle, "10.0.0.1", "a", now + seconds(10));
  EXPECT_FALSE(capped.admitted);
  EXPECT_EQ(capped.retry_after, rules.window - (now + seconds(10) - kStart));
  EXPECT_TRUE(Try(throttle, "10.0.0.1", "a", kStart + rules.window).admitted)
      << "a new window forgets the old failures";
  EXPECT_TRUE(Try(throttle, "10.0.0.2", "a", now).admitted) << "other addresses are not held";
}

TEST(WebSignInThrottle, AccountRuleHoldsGuessersButNeverAFreshAddress) {
  ThrottleRules rules;
  rules.pair = {100, milliseconds(1000), milliseconds(1000), 1000};
  rules.account = {2, milliseconds(1000), milliseconds(60000), 5};
  SignInThrottle throttle(rules);
  // Five guessers, one try each: the account is at its cap.
  for (int i = 0; i < 5; ++i) {
    const std::string address = "10.0.1." + std::to_string(i);
    EXPECT_TRUE(Try(throttle, address, "person:2", kStart).goes_first) << i;
    throttle.Done({address, "person:2", {}}, {true, seconds(0), true, true}, true, kStart);
  }
  // Their second tries wait for the account...
  EXPECT_FALSE(Try(throttle, "10.0.1.0", "person:2", kStart + seconds(30)).admitted);
  EXPECT_TRUE(Try(throttle, "10.0.1.0", "person:9", kStart + seconds(30)).admitted);
  // ... but the person, from an address without failures, is checked, first,
  // and signing in counts nothing: the address stays fresh.
  for (int i = 0; i < 3; ++i) {
    const SignInThrottle::Verdict person = Try(throttle, "10.0.2.1", "person:2", kStart);
    EXPECT_TRUE(person.admitted && person.goes_first) << i;
    throttle.Done({"10.0.2.1", "person:2", {}}, person, false, kStart);
  }
}

TEST(WebSignInThrottle, ParallelAttemptsAreFewAndMemoryIsBounded) {
  ThrottleRules rules;
  rules.max_new_in_flight = 2;
  rules.max_entries = 50;
  SignInThrottle throttle(rules);
  // Two attempts of one address at a time; the third waits for one to end.
  const SignInThrottle::Verdict first = Try(throttle, "10.0.0.1", "a", kStart);
  EXPECT_TRUE(first.admitted);
  EXPECT_TRUE(Try(throttle, "10.0.0.1", "b", kStart).admitted);
  const SignInThrottle::Verdict third = Try(throttle, "10.0.0.1", "c", kStart);
  EXPECT_FALSE(third.admitted);
  EXPECT_EQ(third.retry_after, seconds(1));
  throttle.Done({"10.0.0.1", "a", {}}, first, false, kStart);
  EXPECT_TRUE(Try(throttle, "10.0.0.1", "c", kStart).admitted);
  EXPECT_TRUE(Try(throttle, "10.0.0.2", "c", kStart).admitted) << "another address";
  // A flood of new addresses and names pushes out the oldest windows only.
  Fail(throttle, "10.0.0.3", "a", kStart);
  for (int i = 0; i < 1000; ++i) {
    Fail(throttle, "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250),
         "name:" + std::to_string(i), kStart + milliseconds(i + 1));
  }
  EXPECT_TRUE(Try(throttle, "10.0.0.3", "a", kStart + seconds(2)).goes_first)
      << "the oldest address was forgotten";
  EXPECT_FALSE(Try(throttle, "10.1.3.249", "name:999", kStart + seconds(2)).goes_first)
      << "the newest is still known";
}

TEST(WebSignInThrottle, GuessersBehindOneAddressHoldBackNeitherColleaguesNorProvenDevices) {
  ThrottleRules rules;
  rules.address_accounts = 5;
  SignInThrottle throttle(rules);
  // Thirty guessers behind the office's address fail on four other
  // accounts; colleagues signing in from there are let through.
  for (int i = 0; i < 30; ++i) {
    Fail(throttle, "10.0.0.1", "person:1" + std::to_string(i % 4), kStart);
  }
  const TimePoint now = kStart + seconds(120);
  for (const char* person : {"person:2", "person:3"}) Succeed(throttle, "10.0.0.1", person, now);
  // Eight suspect guesses in flight are all the address gets; they take no
  // place of a colleague's.
  for (int i = 0; i < 8; ++i) {
    const SignInThrottle::Verdict guess =
        Try(throttle, "10.0.0.1", "person:1" + std::to_string(i % 4), now);
    EXPECT_TRUE(guess.admitted && !guess.goes_first) << i;
  }
  EXPECT_FALSE(Try(throttle, "10.0.0.1", "person:10", now).admitted);
  EXPECT_TRUE(Try(throttle, "10.0.0.1", "person:2", now).admitted);

  // A fifth account failed on: the address sprays a staff list, and only
  // proven devices get through, each for its own account.
  Fail(throttle, "10.0.0.1", "person:20", now);
  const SignInThrottle::Verdict sprayed = Try(throttle, "10.0.0.1", "person:2", now);
  EXPECT_FALSE(sprayed.admitted);
  EXPECT_EQ(sprayed.retry_after, rules.window - seconds(120));
  const SignInThrottle::Verdict proven = Try(throttle, "10.0.0.1", "person:2", now, "device-2");
  EXPECT_TRUE(proven.admitted && proven.goes_first);

  // Guessers elsewhere put the person's own account at its cap: their next
  // tries wait, her device does not.
  for (int i = 0; i < 60; ++i) Fail(throttle, "10.0.9." + std::to_string(i), "person:3", now);
  EXPECT_FALSE(Try(throttle, "10.0.9.1", "person:3", now + seconds(70)).admitted);
  EXPECT_TRUE(Try(throttle, "10.0.0.1", "person:3", now + seconds(70), "device-3").admitted);

  // A device is held by its own failures, which are not the account's.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Fail(throttle, "10.0.0.1", "person:4", now, "device-4"));
  const SignInThrottle::Verdict typo = Try(throttle, "10.0.0.1", "person:4", now, "device-4");
  EXPECT_FALSE(typo.admitted);
  EXPECT_EQ(typo.retry_after, seconds(1));
  EXPECT_TRUE(Fail(throttle, "10.0.3.3", "person:4", now));
  EXPECT_TRUE(Try(throttle, "10.0.3.3", "person:4", now).admitted);
}

TEST(WebSignInThrottle, AddressKeys) {
  EXPECT_EQ(ClientAddressKey("192.0.2.7"), "192.0.2.7");
  EXPECT_EQ(ClientAddressKey("::ffff:192.0.2.7"), "192.0.2.7");
  EXPECT_EQ(ClientAddressKey("2001:db8:1:2:aaaa:bbbb:cccc:dddd"), "2001:db8:1:2::/64");
  EXPECT_EQ(ClientAddressKey("2001:db8:1:2::9"), "2001:db8:1:2::/64");
  EXPECT_EQ(ClientAddressKey(std::string(100, 'x')), std::string(64, 'x'));
}

TEST(WebHashPool, FirstLaneGoesFirstAndFullQueuesRefuse) {
  std::mutex mutex;
  std::vector<std::string> order;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::latch started(1);
  {
    HashPool pool(1, 2);
    ASSERT_TRUE(pool.Submit(HashPool::Lane::kLater, [&] {
      started.count_down();
      released.wait();
    }));
    started.wait();  // the one worker is busy; the rest queue
    const auto note = [&](std::string name) {
      return [&, name] {
        const std::lock_guard<std::mutex> lock(mutex);
        order.push_back(name);
      };
    };
    EXPECT_TRUE(pool.Submit(HashPool::Lane::kLater, note("later 1")));
    EXPECT_TRUE(pool.Submit(HashPool::Lane::kLater, note("later 2")));
    EXPECT_FALSE(pool.Submit(HashPool::Lane::kLater, note("later 3"))) << "that lane is full";
    EXPECT_TRUE(pool.Submit(HashPool::Lane::kFirst, note("first 1")));
    EXPECT_TRUE(pool.Submit(HashPool::Lane::kFirst, note("first 2")));
    release.set_value();
  }  // the pool runs what it accepted before it goes
  EXPECT_EQ(order, (std::vector<std::string>{"first 1", "first 2", "later 1", "later 2"}));
  const std::size_t workers = HashPool::WorkersFor(64u << 20);
  EXPECT_GE(workers, 1u);
  EXPECT_LE(workers, std::max(1u, std::thread::hardware_concurrency()));
  EXPECT_EQ(HashPool::WorkersFor(std::size_t{1} << 62), 1u) << "memory bounds the threads";
}

TEST(WebSignInGate, ChecksThrottlesAndCountsOnlyFailures) {
  const testing::TempDir dir;
  const std::string path = dir.File("gate.db");
  testing::WriteFixture(path);
  const std::unique_ptr<store::Connection> connection = store::Connect("sqlite:" + path);
  store::Connection& db = *connection;
  ThrottleRules rules;
  rules.pair = {0, milliseconds(60000), milliseconds(60000), 10};
  SignInGate gate(PasswordLimits::Minimal(), rules, 1);
  using Status = SignInOutcome::Status;

  // Successes are no failures: as often as one likes.
  for (int i = 0; i < 3; ++i) {
    const SignInOutcome outcome = gate.CheckAndWait(db, {"10.0.0.1", "李科员", testing::kPassword});
    EXPECT_EQ(outcome.status, Status::kSignedIn);
    ASSERT_TRUE(outcome.person);
    EXPECT_EQ(outcome.person->id, testing::kLi);
  }
  EXPECT_EQ(gate.CheckAndWait(db, {"10.0.0.2", "2", "wrong"}).status, Status::kRefused);
  EXPECT_EQ(gate.CheckAndWait(db, {"10.0.0.2", "nobody", "wrong"}).status, Status::kRefused);
  const SignInOutcome held = gate.CheckAndWait(db, {"10.0.0.2", "2", testing::kPassword});
  EXPECT_EQ(held.status, Status::kThrottled);
  EXPECT_EQ(held.retry_after, seconds(60));
  EXPECT_EQ(gate.CheckAndWait(db, {"10.0.0.3", "2", testing::kPassword}).status, Status::kSignedIn);
}

}  // namespace
}  // namespace ostrand::web
