#include "web/auth/signin_gate.h"

#include <sodium.h>

#include <future>
#include <memory>
#include <utility>

#include "core/text.h"
#include "web/data/settings.h"

namespace ostrand::web {
namespace {

constexpr std::size_t kQueuedPerWorker = 16;

std::size_t WorkerCount(const PasswordLimits& limits, std::size_t asked) {
  return asked > 0 ? asked : HashPool::WorkersFor(limits.mem);
}

}  // namespace

std::string SignInLiftSetting(std::int64_t person_id) {
  return "signInLift." + std::to_string(person_id);
}

void LiftSignInThrottle(store::Connection& db, std::int64_t person_id) {
  IncrementSetting(db, SignInLiftSetting(person_id));
}

std::string DirectoryAccountKey(std::string_view who) {
  std::string key = "directory:";
  for (const char c : who.substr(0, 64)) key += LowerAscii(c);
  return key;
}

bool SignInGate::SubmitHashJob(std::function<void()> job) {
  return pool_.Submit(HashPool::Lane::kFirst, std::move(job));
}

SignInGate::SignInGate(const PasswordLimits& limits, const ThrottleRules& rules,
                       std::size_t hash_workers, PasswordDirectory* directory)
    : checker_(limits),
      directory_(directory),
      throttle_(rules),
      pool_(WorkerCount(limits, hash_workers),
            WorkerCount(limits, hash_workers) * kQueuedPerWorker) {}

void SignInGate::FollowLifts(store::Connection& db, const SignInTarget& target) {
  if (!target.person) return;
  const std::optional<std::int64_t> lifts = ReadSetting(db, SignInLiftSetting(target.person->id));
  if (!lifts) return;
  const std::lock_guard<std::mutex> lock(throttle_mutex_);
  std::int64_t& seen = lifts_seen_[target.account_key];
  if (seen != *lifts) throttle_.Lift(target.account_key);
  seen = *lifts;
}

SignInGate::Admission SignInGate::Admit(const SignInAttempt& attempt, const std::string& account) {
  // A device cookie of another account is no proof for this one.
  const bool proven = !attempt.device_id.empty() && attempt.device_account == account;
  Admission admission{ClientAddressKey(attempt.client_address), account,
                      proven ? attempt.device_id : std::string(), {}};
  const std::lock_guard<std::mutex> lock(throttle_mutex_);
  admission.verdict = throttle_.Admit({admission.address, admission.account, admission.device},
                                      std::chrono::steady_clock::now());
  return admission;
}

void SignInGate::Release(const Admission& admission, bool failed) {
  const std::lock_guard<std::mutex> lock(throttle_mutex_);
  throttle_.Done({admission.address, admission.account, admission.device}, admission.verdict,
                 failed, std::chrono::steady_clock::now());
}

void SignInGate::Check(store::Connection& db, SignInAttempt attempt,
                       std::function<void(SignInOutcome)> done) {
  auto target = std::make_shared<SignInTarget>(checker_.Find(db, attempt.who));
  FollowLifts(db, *target);
  auto admission = std::make_shared<const Admission>(Admit(attempt, target->account_key));
  if (!admission->verdict.admitted) {
    sodium_memzero(attempt.password.data(), attempt.password.size());
    done({SignInOutcome::Status::kThrottled, std::nullopt, admission->verdict.retry_after,
          target->account_key});
    return;
  }
  // The job owns the password until it has been checked; `done` goes with
  // it and comes back when the pool refuses the job.
  auto password = std::make_shared<std::string>(std::move(attempt.password));
  auto callback = std::make_shared<std::function<void(SignInOutcome)>>(std::move(done));
  const auto check = [this, target, admission, password, callback] {
    SignInOutcome outcome;
    outcome.person = SignInChecker::Verify(*target, *password);
    sodium_memzero(password->data(), password->size());
    if (outcome.person) outcome.status = SignInOutcome::Status::kSignedIn;
    outcome.account_key = target->account_key;
    Release(*admission, !outcome.person);
    (*callback)(std::move(outcome));
  };
  const HashPool::Lane lane =
      admission->verdict.goes_first ? HashPool::Lane::kFirst : HashPool::Lane::kLater;
  if (pool_.Submit(lane, check)) return;
  sodium_memzero(password->data(), password->size());
  Release(*admission, false);  // never checked: no guess to count
  (*callback)({SignInOutcome::Status::kBusy, std::nullopt, std::chrono::seconds(5),
               target->account_key});
}

void SignInGate::CheckSignIn(store::Connection& db, SignInAttempt attempt,
                             std::function<void(SignInOutcome)> done) {
  if (directory_ == nullptr) return Check(db, std::move(attempt), std::move(done));
  // The local account is looked up now, on the caller's connection, in
  // case the directory sends the attempt on to it.
  auto target = std::make_shared<const SignInTarget>(checker_.Find(db, attempt.who));
  FollowLifts(db, *target);
  auto admission = std::make_shared<const Admission>(Admit(attempt, DirectoryAccountKey(attempt.who)));
  if (!admission->verdict.admitted) {
    sodium_memzero(attempt.password.data(), attempt.password.size());
    done({SignInOutcome::Status::kThrottled, std::nullopt, admission->verdict.retry_after,
          admission->account});
    return;
  }
  auto owned = std::make_shared<SignInAttempt>(std::move(attempt));
  auto callback = std::make_shared<std::function<void(SignInOutcome)>>(std::move(done));
  const auto ask = [this, target, admission, owned, callback] {
    SignInOutcome outcome = AskDirectory(*target, *admission, *owned);
    sodium_memzero(owned->password.data(), owned->password.size());
    (*callback)(std::move(outcome));
  };
  const HashPool::Lane lane =
      admission->verdict.goes_first ? HashPool::Lane::kFirst : HashPool::Lane::kLater;
  if (pool_.Submit(lane, ask)) return;
  sodium_memzero(owned->password.data(), owned->password.size());
  Release(*admission, false);  // never asked: no guess to count
  (*callback)({SignInOutcome::Status::kBusy, std::nullopt, std::chrono::seconds(5),
               admission->account});
}

SignInOutcome SignInGate::AskDirectory(const SignInTarget& target, const Admission& admission,
                                       const SignInAttempt& attempt) {
  using Status = DirectoryAnswer::Status;
  DirectoryAnswer answer;
  try {
    answer = directory_->Check(attempt.who, attempt.password);
  } catch (...) {
    answer.status = Status::kDown;  // out of memory: it could not be asked
  }
  switch (answer.status) {
    case Status::kBound:
      Release(admission, false);
      return {SignInOutcome::Status::kIdentified, std::nullopt, std::chrono::seconds(0),
              admission.account, std::move(answer.identity)};
    case Status::kRefused:
      // As long as an unknown name takes (its stand-in hash), so that the
      // time of the answer does not tell a directory user from nobody.
      static_cast<void>(SignInChecker::Verify(target, attempt.password));
      Release(admission, true);
      return {SignInOutcome::Status::kRefused, std::nullopt, std::chrono::seconds(0),
              admission.account};
    case Status::kNoSuchUser:
      Release(admission, false);
      return CheckLocally(target, attempt);
    case Status::kDown:
      break;
  }
  Release(admission, false);
  if (target.person) return CheckLocally(target, attempt);
  return {SignInOutcome::Status::kDirectoryDown, std::nullopt, kDirectoryRetryAfter,
          admission.account};
}

SignInOutcome SignInGate::CheckLocally(const SignInTarget& target, const SignInAttempt& attempt) {
  const Admission admission = Admit(attempt, target.account_key);
  if (!admission.verdict.admitted) {
    return {SignInOutcome::Status::kThrottled, std::nullopt, admission.verdict.retry_after,
            target.account_key};
  }
  SignInOutcome outcome;
  outcome.person = SignInChecker::Verify(target, attempt.password);
  if (outcome.person) outcome.status = SignInOutcome::Status::kSignedIn;
  outcome.account_key = target.account_key;
  Release(admission, !outcome.person);
  return outcome;
}

SignInOutcome SignInGate::CheckAndWait(store::Connection& db, SignInAttempt attempt) {
  auto promise = std::make_shared<std::promise<SignInOutcome>>();
  std::future<SignInOutcome> outcome = promise->get_future();
  Check(db, std::move(attempt),
        [promise](SignInOutcome result) { promise->set_value(std::move(result)); });
  return outcome.get();
}

SignInOutcome SignInGate::CheckCode(store::Connection& db, const Person& person,
                                    const std::string& client_address,
                                    const std::string& device_id,
                                    const std::function<bool()>& check) {
  const std::string account = PersonAccountKey(person.id);
  const std::optional<std::int64_t> lifts = ReadSetting(db, SignInLiftSetting(person.id));
  const std::string address = ClientAddressKey(client_address);
  const SignInThrottle::Attempt counted{address, account, device_id};
  SignInThrottle::Verdict verdict;
  {
    const std::lock_guard<std::mutex> lock(throttle_mutex_);
    if (lifts) {
      std::int64_t& seen = lifts_seen_[account];
      if (seen != *lifts) throttle_.Lift(account);
      seen = *lifts;
    }
    verdict = throttle_.Admit(counted, std::chrono::steady_clock::now());
  }
  if (!verdict.admitted) {
    return {SignInOutcome::Status::kThrottled, std::nullopt, verdict.retry_after, account};
  }
  bool right = false;
  try {
    right = check();
  } catch (...) {
    const std::lock_guard<std::mutex> lock(throttle_mutex_);
    throttle_.Done(counted, verdict, false, std::chrono::steady_clock::now());
    throw;
  }
  {
    const std::lock_guard<std::mutex> lock(throttle_mutex_);
    throttle_.Done(counted, verdict, !right, std::chrono::steady_clock::now());
  }
  if (!right) {
    return {SignInOutcome::Status::kRefused, std::nullopt, std::chrono::seconds(0), account};
  }
  return {SignInOutcome::Status::kSignedIn, person, std::chrono::seconds(0), account};
}

}  // namespace ostrand::web
