// The delivery worker of one `ostrand serve` process: a background thread
// that fans the outbox's new events out into deliveries, takes the due
// ones under a lease and sends each through the channel of its kind
// ("webhook", "mail"), then records how it went (web/data/outbox.h). It
// wakes at once when Wake is called (the server calls it after a request
// that added an event has been answered, so after the commit) and
// otherwise polls every `poll` for what other servers committed. Once a
// minute it also adds the day's "away.today" event for the receivers whose
// hour it is in the plans' zone (one per day and hour, whichever server
// comes first).
//
// A delivery of a channel the worker was not given (no mail server
// configured) stays pending for a server that has one, or for this one
// once it is configured. Each failed attempt is reported once through
// `report` (never a secret or a receiver's address, which may hold a
// token); a database that fails the worker's round is reported once until
// a round succeeds again.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <utility>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "feeds/time_zone.h"
#include "web/data/databases.h"
#include "web/notify/channel.h"

namespace ostrand::web::notify {

struct WorkerSettings {
  // Names this server in the leases it takes.
  std::string owner;
  std::chrono::milliseconds poll{1500};
  std::chrono::seconds lease{60};
  // Deliveries taken per round.
  std::size_t batch = 20;
};

// What the worker reports: the delivery (0 for the round itself), the
// receiver's HTTP status or mail server's code when there was one, and
// what went wrong.
using FailureReport =
    std::function<void(std::int64_t delivery_id, int status, std::string_view error)>;

class DeliveryWorker {
 public:
  // The references and channels must outlive the worker; `channels` by
  // name ("webhook", "mail").
  DeliveryWorker(const Databases& databases, const feeds::TimeZone& zone,
                 std::map<std::string, Channel*> channels, WorkerSettings settings,
                 FailureReport report);
  ~DeliveryWorker();
  DeliveryWorker(const DeliveryWorker&) = delete;
  DeliveryWorker& operator=(const DeliveryWorker&) = delete;

  // Starts the thread; a second call does nothing.
  void Start();
  // Ends the thread after the attempt under way (each is bounded in
  // time); safe to call more than once and from any thread. Never throws.
  void Stop() noexcept;
  // Makes the thread look for work now. Cheap; never throws.
  void Wake() noexcept;

 private:
  void Run() noexcept;
  // One round: away lists, fan-out, the due deliveries; whether it found
  // work enough to go again at once.
  bool Round();
  void AddAwayLists(store::Connection& db, const DateTime& now);
  // Sends the deliveries of one receiver one after the other and records
  // each outcome.
  void SendInOrder(const std::vector<Delivery>& deliveries) noexcept;

  // A thread sending one receiver's deliveries (or one channel's), kept
  // from round to round until it is done; the worker's thread alone uses
  // them.
  using SenderKey = std::pair<std::string, std::int64_t>;
  struct Sender {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::map<SenderKey, Sender> senders_;

  const Databases& databases_;
  const feeds::TimeZone& zone_;
  std::map<std::string, Channel*> channels_;
  std::vector<std::string> channel_names_;
  WorkerSettings settings_;
  FailureReport report_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool woken_ = false;
  bool round_failed_ = false;
  std::chrono::steady_clock::time_point next_away_check_{};
  std::mutex join_mutex_;
  std::thread thread_;
};

}  // namespace ostrand::web::notify
