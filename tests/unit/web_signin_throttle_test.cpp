// The sign-in throttle's rules on a clock of its own, the hash pool's lanes
// and bounds, and the gate that joins them to the password check.
#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <mutex>

#include "web/auth/hash_pool.h"
#include "web/auth/signin_gate.h"
#include "web/auth/signin_throttle.h"
#include "web_test_server.h"

namespace ostrand::web {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using TimePoint = SignInThrottle::TimePoint;

const TimePoint kStart{std::chrono::hours(1000)};

// One wrong password: whether it was admitted (and then counted).
bool Fail(SignInThrottle& throttle, std::string_view address, std::string_view account,
          TimePoint now) {
  if (!throttle.Admit(address, account, now).admitted) return false;
  throttle.Done(address, account, true, now);
  return true;
}

TEST(WebSignInThrottle, AddressWaitsLongerAfterEachFailureUpToTheCap) {
  ThrottleRules rules;
  rules.address = {2, milliseconds(1000), milliseconds(4000), 6};
  SignInThrottle throttle(rules);
  TimePoint now = kStart;
  // Two failures are free, then each waits twice as long as the last, up to
  // the longest delay.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Fail(throttle, "10.0.0.1", "a", now)) << i;
  const SignInThrottle::Verdict held = throttle.Admit("10.0.0.1", "b", now);
  EXPECT_FALSE(held.admitted);
  EXPECT_EQ(held.retry_after, seconds(1));
  for (const int wait_ms : {1000, 2000, 4000}) {
    EXPECT_FALSE(Fail(throttle, "10.0.0.1", "a", now + milliseconds(wait_ms - 1)));
    now += milliseconds(wait_ms);
    EXPECT_TRUE(Fail(throttle, "10.0.0.1", "a", now)) << wait_ms;
  }
  // The cap: six failures, then nothing until the window ends.
  const SignInThrottle::Verdict capped = throttle.Admit("10.0.0.1", "a", now + seconds(10));
  EXPECT_FALSE(capped.admitted);
  EXPECT_EQ(capped.retry_after, rules.window - (now + seconds(10) - kStart));
  EXPECT_TRUE(throttle.Admit("10.0.0.1", "a", kStart + rules.window).admitted)
      << "a new window forgets the old failures";
  EXPECT_TRUE(throttle.Admit("10.0.0.2", "a", now).admitted) << "other addresses are not held";
}

TEST(WebSignInThrottle, AccountRuleHoldsGuessersButNeverAFreshAddress) {
  ThrottleRules rules;
  rules.address = {100, milliseconds(1000), milliseconds(1000), 1000};
  rules.account = {2, milliseconds(1000), milliseconds(60000), 5};
  SignInThrottle throttle(rules);
  // Five guessers, one try each: the account is at its cap.
  for (int i = 0; i < 5; ++i) {
    const std::string address = "10.0.1." + std::to_string(i);
    EXPECT_TRUE(throttle.Admit(address, "person:2", kStart).fresh_address) << i;
    throttle.Done(address, "person:2", true, kStart);
  }
  // Their second tries wait for the account...
  EXPECT_FALSE(throttle.Admit("10.0.1.0", "person:2", kStart + seconds(30)).admitted);
  EXPECT_TRUE(throttle.Admit("10.0.1.0", "person:9", kStart + seconds(30)).admitted);
  // ... but the person, from an address without failures, is checked, first,
  // and signing in counts nothing: the address stays fresh.
  for (int i = 0; i < 3; ++i) {
    const SignInThrottle::Verdict person = throttle.Admit("10.0.2.1", "person:2", kStart);
    EXPECT_TRUE(person.admitted && person.fresh_address) << i;
    throttle.Done("10.0.2.1", "person:2", false, kStart);
  }
}

TEST(WebSignInThrottle, ParallelAttemptsAreFewAndMemoryIsBounded) {
  ThrottleRules rules;
  rules.max_in_flight = 2;
  rules.max_entries = 50;
  SignInThrottle throttle(rules);
  // Two attempts of one address at a time; the third waits for one to end.
  EXPECT_TRUE(throttle.Admit("10.0.0.1", "a", kStart).admitted);
  EXPECT_TRUE(throttle.Admit("10.0.0.1", "b", kStart).admitted);
  const SignInThrottle::Verdict third = throttle.Admit("10.0.0.1", "c", kStart);
  EXPECT_FALSE(third.admitted);
  EXPECT_EQ(third.retry_after, seconds(1));
  throttle.Done("10.0.0.1", "a", false, kStart);
  EXPECT_TRUE(throttle.Admit("10.0.0.1", "c", kStart).admitted);
  EXPECT_TRUE(throttle.Admit("10.0.0.2", "c", kStart).admitted) << "another address";
  // A flood of new addresses and names pushes out the oldest windows only.
  Fail(throttle, "10.0.0.3", "a", kStart);
  for (int i = 0; i < 1000; ++i) {
    Fail(throttle, "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250),
         "name:" + std::to_string(i), kStart + milliseconds(i + 1));
  }
  EXPECT_TRUE(throttle.Admit("10.0.0.3", "a", kStart + seconds(2)).fresh_address)
      << "the oldest address was forgotten";
  EXPECT_FALSE(throttle.Admit("10.1.3.249", "name:999", kStart + seconds(2)).fresh_address)
      << "the newest is still known";
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
  rules.address = {1, milliseconds(60000), milliseconds(60000), 10};
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
