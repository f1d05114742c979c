// Sign-in under password guessing, against `ostrand serve` with the real
// (interactive) password hashing: the person with the right password gets in
// while fifty clients guess, other accounts or the person's own, and a burst
// of guesses from two hundred addresses keeps the server's memory bounded.
// The times are the benchmark's business (bench/bench_signin.cpp); this test
// asks for the answers.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "signin_load.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using load::Address;
using load::SignInFrom;

TEST(WebSignInLoad, ThePersonGetsInWhileOthersGuessAndMemoryStaysBounded) {
  const testing::TempDir dir;
  const std::string db = dir.File("load.db");
  testing::WriteFixture(db);
  const std::int64_t persons[] = {testing::kZhang, testing::kLi, testing::kWang};
  GiveDemoPasswords("sqlite:" + db, persons, testing::kPassword, PasswordLimits::Interactive());
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "0123456789abcdef0123456789abcdef-load\n";
  load::ServerProcess server(OSTRAND_BINARY, db, secret);
  ASSERT_GT(server.port(), 0);

  {
    load::Guessers guessers(server.port(), 50, 1, std::to_string(testing::kZhang));
    // The first wave (one check per new address) has passed.
    guessers.WaitForFailures(50, std::chrono::seconds(120));
    const load::SignInResult li =
        SignInFrom(server.port(), Address(3, 0), std::to_string(testing::kLi), testing::kPassword);
    EXPECT_EQ(li.status, 303) << "while others' accounts are guessed";

    guessers.Target(std::to_string(testing::kLi));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const load::SignInResult again =
        SignInFrom(server.port(), Address(3, 1), std::to_string(testing::kLi), testing::kPassword);
    EXPECT_EQ(again.status, 303) << "while the person's own account is guessed";

    guessers.Stop();
    std::map<int, int> statuses = guessers.Statuses();
    EXPECT_GT(statuses[429], 0) << "the guessers were held back";
    EXPECT_EQ(statuses[-1], 0) << "every guess was answered";
  }

  // Two hundred failed sign-ins, each from its own address, fifty at a time.
  const std::vector<int> burst =
      load::Burst(server.port(), 200, 50, 2, std::to_string(testing::kWang));
  for (const int status : burst) EXPECT_TRUE(status == 403 || status == 503) << status;
#if !defined(__SANITIZE_ADDRESS__)
  // (The address sanitizer keeps freed memory in quarantine; only the plain
  // build tells how much the server needs.)
  EXPECT_LT(server.PeakMiB(), 300.0);
#endif
}

}  // namespace
}  // namespace ostrand::web
