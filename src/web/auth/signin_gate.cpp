#include "web/auth/signin_gate.h"

#include <sodium.h>

#include <future>
#include <memory>
#include <utility>

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

bool SignInGate::SubmitHashJob(std::function<void()> job) {
  return pool_.Submit(HashPool::Lane::kFirst, std::move(job));
}

SignInGate::SignInGate(const PasswordLimits& limits, const ThrottleRules& rules,
                       std::size_t hash_workers)
    : checker_(limits),
      throttle_(rules),
      pool_(WorkerCount(limits, hash_workers),
            WorkerCount(limits, hash_workers) * kQueuedPerWorker) {}

void SignInGate::Check(store::Connection& db, SignInAttempt attempt,
                       std::function<void(SignInOutcome)> done) {
  auto target = std::make_shared<SignInTarget>(checker_.Find(db, attempt.who));
  std::optional<std::int64_t> lifts;
  if (target->person) lifts = ReadSetting(db, SignInLiftSetting(target->person->id));
  // A device cookie of another account is no proof for this one.
  const bool proven = !attempt.device_id.empty() && attempt.device_account == target->account_key;
  auto keys = std::make_shared<const std::pair<std::string, std::string>>(
      ClientAddressKey(attempt.client_address), proven ? attempt.device_id : std::string());
  const SignInThrottle::Attempt counted{keys->first, target->account_key, keys->second};
  SignInThrottle::Verdict verdict;
  {
    const std::lock_guard<std::mutex> lock(throttle_mutex_);
    if (lifts) {
      std::int64_t& seen = lifts_seen_[target->account_key];
      if (seen != *lifts) throttle_.Lift(target->account_key);
      seen = *lifts;
    }
    verdict = throttle_.Admit(counted, std::chrono::steady_clock::now());
  }
  if (!verdict.admitted) {
    sodium_memzero(attempt.password.data(), attempt.password.size());
    done({SignInOutcome::Status::kThrottled, std::nullopt, verdict.retry_after,
          target->account_key});
    return;
  }
  // The job owns the password until it has been checked; `done` goes with
  // it and comes back when the pool refuses the job.
  auto password = std::make_shared<std::string>(std::move(attempt.password));
  auto callback = std::make_shared<std::function<void(SignInOutcome)>>(std::move(done));
  const auto finish = [this, target, keys, verdict](bool failed) {
    const std::lock_guard<std::mutex> lock(throttle_mutex_);
    throttle_.Done({keys->first, target->account_key, keys->second}, verdict, failed,
                   std::chrono::steady_clock::now());
  };
  const auto check = [target, password, callback, finish] {
    SignInOutcome outcome;
    outcome.person = SignInChecker::Verify(*target, *password);
    sodium_memzero(password->data(), password->size());
    if (outcome.person) outcome.status = SignInOutcome::Status::kSignedIn;
    outcome.account_key = target->account_key;
    finish(!outcome.person);
    (*callback)(std::move(outcome));
  };
  const HashPool::Lane lane = verdict.goes_first ? HashPool::Lane::kFirst : HashPool::Lane::kLater;
  if (pool_.Submit(lane, check)) return;
  sodium_memzero(password->data(), password->size());
  finish(false);  // never checked: no guess to count
  (*callback)({SignInOutcome::Status::kBusy, std::nullopt, std::chrono::seconds(5),
               target->account_key});
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
