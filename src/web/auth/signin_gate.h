// SignInGate: the way of every sign-in attempt. The account is looked up
// on the caller's thread; the throttle (signin_throttle.h) then admits the
// attempt or names when to come back; an admitted password is checked on
// the hash pool (hash_pool.h), attempts of proven devices and of addresses
// without failures first; the outcome is counted back into the throttle and handed to the
// caller's callback. Nothing here knows HTTP: a server calls Check with the
// client's address and the form's fields, and turns the outcome into its
// reply.
//
// With a directory (directory.h), the sign-in form's attempts ask it first
// (CheckSignIn), on the same hash pool and under the same throttle: the
// directory's users are counted under their own account key
// (DirectoryAccountKey), and a name the directory does not know goes on to
// the local accounts as before.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "web/auth/accounts.h"
#include "web/auth/directory.h"
#include "web/auth/hash_pool.h"
#include "web/auth/signin_throttle.h"
#include "store/connection.h"
#include "web/data/persons.h"

namespace ostrand::web {

struct SignInAttempt {
  std::string client_address;  // the peer's address as the server sees it
  std::string who;             // person id or name, as typed
  std::string password;        // wiped once checked
  // The browser's device cookie, opened (SessionSigner::OpenDevice): the
  // account it was issued for and its id; both empty without one. It counts
  // only when it names the account the attempt is for.
  std::string device_account{};
  std::string device_id{};
};

struct SignInOutcome {
  enum class Status {
    kSignedIn,   // `person` holds who signed in
    kRefused,    // wrong password, or nobody to sign in as: one answer for all
    kThrottled,  // too many failures: try again after `retry_after`
    kBusy,       // the hash pool's queue is full: try again shortly
    // The directory took the password: `identity` is who signed in there;
    // which person that is, the caller decides (data/identities.h).
    kIdentified,
    // The directory cannot be asked and the name has no local password to
    // check instead: try again after `retry_after`.
    kDirectoryDown,
  };
  Status status = Status::kRefused;
  std::optional<Person> person;
  std::chrono::seconds retry_after{0};
  // The account the attempt was counted against (SignInTarget::account_key,
  // or DirectoryAccountKey).
  std::string account_key{};
  std::optional<ExternalIdentity> identity{};  // kIdentified
};

// The setting (web/data/settings.h) that counts the lifts of the person's
// sign-in throttle. Every server reads it at each attempt on the person's
// account and, when it moved since, forgets the failures it counted there
// (SignInThrottle::Lift): a lift reaches every server sharing the database.
std::string SignInLiftSetting(std::int64_t person_id);

// Lifts the person's sign-in throttle on every server, inside the caller's
// transaction, if any. Throws the database's Error.
void LiftSignInThrottle(store::Connection& db, std::int64_t person_id);

// The account key (SignInOutcome::account_key) of a directory user: the
// typed name, ASCII letters folded (directories compare names without
// case), cut to 64 bytes, after "directory:".
std::string DirectoryAccountKey(std::string_view who);

// How long a browser is asked to wait when the directory is down.
inline constexpr std::chrono::seconds kDirectoryRetryAfter{30};

class SignInGate {
 public:
  // Hashes the stand-in password with `limits` and starts `hash_workers`
  // threads (0: HashPool::WorkersFor the limits' memory), each lane of the
  // pool queueing up to 16 attempts per worker. `directory` (may be null;
  // not owned, must outlive the gate) is what CheckSignIn asks first.
  // Throws Error when hashing fails.
  SignInGate(const PasswordLimits& limits, const ThrottleRules& rules, std::size_t hash_workers,
             PasswordDirectory* directory = nullptr);
  // Waits for the attempts being checked; their callbacks run.
  ~SignInGate() = default;
  SignInGate(const SignInGate&) = delete;
  SignInGate& operator=(const SignInGate&) = delete;

  // Starts checking the attempt; `done` runs once with the outcome: on the
  // calling thread when the attempt is throttled or the pool is busy, else
  // on a pool thread. The account is looked up on `db` before Check
  // returns; the hashing never touches it. Throws Error (and `done` never
  // runs) when the database lookup fails.
  void Check(store::Connection& db, SignInAttempt attempt, std::function<void(SignInOutcome)> done);
  // Check, waiting for the outcome on the calling thread.
  SignInOutcome CheckAndWait(store::Connection& db, SignInAttempt attempt);

  // An attempt of the sign-in form: Check when there is no directory.
  // With one, the attempt is admitted under DirectoryAccountKey and the
  // directory is asked on the hash pool (its queue limits as for a hash):
  //   bound       kIdentified (no failure counted);
  //   refused     kRefused, a failure of the directory account, after a
  //               stand-in hash as an unknown name costs;
  //   no such user, or down while the name has a local password:
  //               the local check, admitted then under the local account's
  //               key (kSignedIn, kRefused or kThrottled as Check gives);
  //   down otherwise: kDirectoryDown, nothing counted.
  // `done` runs once, as for Check. Throws Error (and `done` never runs)
  // when the database lookup fails.
  void CheckSignIn(store::Connection& db, SignInAttempt attempt,
                   std::function<void(SignInOutcome)> done);

  std::size_t hash_workers() const { return pool_.workers(); }

  // Runs `job` on the hash pool, in the first lane: other password work of
  // signed-in or invited persons (a password change, a password chosen from
  // an invitation), so that it never hashes on a page worker. False, with
  // the job unrun, when the lane is full. The job must not throw.
  bool SubmitHashJob(std::function<void()> job);

  // The second step of a sign-in whose password was right: a code of
  // `person` (a one-time or recovery code), counted by the throttle as a
  // password is, against the same account, address and device. `check`
  // runs on the calling thread when the throttle admits the attempt and
  // says whether the code was right: kSignedIn (with the person) or
  // kRefused; kThrottled with retry_after when it was not admitted.
  // `device_id` is that of the browser's device cookie when the cookie was
  // issued for the person's account (PersonAccountKey), else empty. Throws
  // the database's Error of the lift count, and what `check` throws (the
  // attempt then counts as never checked).
  SignInOutcome CheckCode(store::Connection& db, const Person& person,
                          const std::string& client_address, const std::string& device_id,
                          const std::function<bool()>& check);

 private:
  // An attempt admitted by the throttle under one account key, until
  // Release reports how it went.
  struct Admission {
    std::string address;  // ClientAddressKey
    std::string account;
    std::string device;  // the device id when it proves this account, else ""
    SignInThrottle::Verdict verdict;
  };
  // The throttle's verdict on the attempt under `account` (the device
  // cookie counts when it was issued for that account); admitted, it is in
  // flight until Release.
  Admission Admit(const SignInAttempt& attempt, const std::string& account);
  void Release(const Admission& admission, bool failed);
  // On the hash pool: the directory's answer to the admitted attempt, and
  // what follows from it (CheckSignIn); releases the admission.
  SignInOutcome AskDirectory(const SignInTarget& target, const Admission& admission,
                             const SignInAttempt& attempt);
  // On the hash pool: the attempt checked against the local account, which
  // the throttle admits under its own key first.
  SignInOutcome CheckLocally(const SignInTarget& target, const SignInAttempt& attempt);
  // Forgets the failures of the target's account when its lift count moved
  // (SignInLiftSetting). Throws the database's Error.
  void FollowLifts(store::Connection& db, const SignInTarget& target);

  SignInChecker checker_;
  PasswordDirectory* const directory_;
  std::mutex throttle_mutex_;
  SignInThrottle throttle_;
  // The lift count (SignInLiftSetting) last seen per account; guarded by
  // throttle_mutex_. Only accounts ever lifted have an entry.
  std::unordered_map<std::string, std::int64_t> lifts_seen_;
  // Last: destroyed first, so that jobs still running find the throttle.
  HashPool pool_;
};

}  // namespace ostrand::web
