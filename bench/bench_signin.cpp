// Sign-in while passwords are guessed, against `ostrand serve` on a demo
// database (every account hashed with Argon2id at the interactive limits):
//
//   1. the reference: a sign-in on the idle server (median of five);
//   2. fifty clients guess another person's password, each from its own
//      loopback address; the person signs in five times from new addresses;
//   3. the fifty guess the person's own password; five sign-ins again;
//   4. fifty clients behind the person's own address (one NAT) guess
//      another person's password; the person signs in five times from there
//      without a device cookie; then they guess the person's own password,
//      and the person signs in five times with the device cookie of an
//      earlier sign-in;
//   5. a burst of 200 failed sign-ins, each from its own address, fifty at a
//      time; then the server's peak memory (VmHWM).
//
// Prints each figure with its ratio to the reference and whether it meets
// its target: the right password signs in within 2 s while others' accounts
// are guessed and within 5 s while the person's own is, and the server stays
// under 300 MiB. Exit status 0 when every target holds, 1 otherwise.
//
//   bench_signin [--binary PATH] [--guessers N]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "signin_load.h"

namespace {

using ostrand::web::load::Address;
using ostrand::web::load::Clock;
using ostrand::web::load::Guessers;
using ostrand::web::load::SignInFrom;

constexpr const char* kPassword = "bench-signin-pass";
constexpr const char* kPerson = "2";  // the person signing in
constexpr const char* kOther = "1";   // another person, whose password is guessed

struct Figures {
  double median = 0;
  double worst = 0;
  int failed = 0;  // sign-ins that did not sign in
};

// Five sign-ins of the person, each from a fresh address of `block`, or
// all from `shared` with the device cookie `device` (none when empty).
Figures SignIns(int port, int block, const std::string& shared = "",
                const std::string& device = "") {
  std::vector<double> seconds;
  Figures figures;
  for (int i = 0; i < 5; ++i) {
    const ostrand::web::load::SignInResult result = SignInFrom(
        port, shared.empty() ? Address(block, i) : shared, kPerson, kPassword, device);
    if (result.status != 303) ++figures.failed;
    seconds.push_back(result.seconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::sort(seconds.begin(), seconds.end());
  figures.median = seconds[seconds.size() / 2];
  figures.worst = seconds.back();
  return figures;
}

bool Report(const char* what, const Figures& figures, double reference, double target) {
  const bool met = figures.failed == 0 && figures.worst < target;
  std::printf(
      "%-44s median %6.3f s (%5.1fx)  worst %6.3f s (%5.1fx)  failed %d  target < %.0f s: %s\n",
      what, figures.median, figures.median / reference, figures.worst, figures.worst / reference,
      figures.failed, target, met ? "met" : "MISSED");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  std::string binary = OSTRAND_BINARY;
  int guessers = 50;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--binary") binary = argv[i + 1];
    if (key == "--guessers") guessers = std::atoi(argv[i + 1]);
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("ostrand_bench_signin_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string db = (dir / "demo.db").string();
  const std::string secret = (dir / "secret").string();
  std::ofstream(secret) << "0123456789abcdef0123456789abcdef-bench\n";
  const std::string make_db =
      binary + " demo-db " + db + " --password " + kPassword + " >/dev/null";
  if (std::system(make_db.c_str()) != 0) {
    std::fprintf(stderr, "bench_signin: cannot write the demo database\n");
    return 1;
  }
  bool met = true;
  {
    ostrand::web::load::ServerProcess server(binary, db, secret);
    if (server.port() == 0) {
      std::fprintf(stderr, "bench_signin: the server did not start\n");
      return 1;
    }
    const Figures idle = SignIns(server.port(), 10);
    const double reference = std::max(idle.median, 1e-3);
    std::printf("%-44s median %6.3f s          worst %6.3f s          failed %d\n",
                "sign-in on the idle server (reference)", idle.median, idle.worst, idle.failed);
    {
      Guessers crowd(server.port(), guessers, 1, kOther);
      const Clock::time_point wave = Clock::now();
      crowd.WaitForFailures(guessers, std::chrono::seconds(120));
      std::printf("%-44s %6.3f s\n", "first wave (one check per guesser) passed in",
                  std::chrono::duration<double>(Clock::now() - wave).count());
      met &= Report("while they guess another account", SignIns(server.port(), 11), reference, 2);
      crowd.Target(kPerson);
      std::this_thread::sleep_for(std::chrono::seconds(1));
      met &= Report("while they guess the person's own account", SignIns(server.port(), 12),
                    reference, 5);
      crowd.Stop();
      std::printf("guessers' answers:");
      for (const auto& [status, count] : crowd.Statuses()) std::printf(" %d: %d", status, count);
      std::printf("\n");
    }
    {
      // One NAT address for the guessers and the person.
      const std::string office = Address(13, 0);
      Guessers crowd(server.port(), guessers, 13, kOther, true);
      // Their pair is held after a few failures: the rest of their guesses wait.
      crowd.WaitForFailures(5, std::chrono::seconds(60));
      met &= Report("same address, another account, no device", SignIns(server.port(), 0, office),
                    reference, 2);
      const std::string device = SignInFrom(server.port(), office, kPerson, kPassword).device;
      crowd.Target(kPerson);
      std::this_thread::sleep_for(std::chrono::seconds(3));
      met &= Report("same address, own account, device cookie",
                    SignIns(server.port(), 0, office, device), reference, 5);
      crowd.Stop();
      std::printf("guessers' answers:");
      for (const auto& [status, count] : crowd.Statuses()) std::printf(" %d: %d", status, count);
      std::printf("\n");
    }
    const std::vector<int> burst = ostrand::web::load::Burst(server.port(), 200, 50, 2, kOther);
    const double peak = server.PeakMiB();
    std::printf(
        "burst of %zu failed sign-ins: %ld refused (403), %ld busy (503), %ld other; "
        "peak memory %.0f MiB, target < 300 MiB: %s\n",
        burst.size(), std::count(burst.begin(), burst.end(), 403),
        std::count(burst.begin(), burst.end(), 503),
        static_cast<long>(burst.size()) - std::count(burst.begin(), burst.end(), 403) -
            std::count(burst.begin(), burst.end(), 503),
        peak, peak < 300 ? "met" : "MISSED");
    met &= peak < 300;
  }
  std::filesystem::remove_all(dir);
  return met ? 0 : 1;
}
