#include "web/notify/delivery_worker.h"

#include <exception>

#include "core/date_text.h"
#include "core/error.h"
#include "web/data/outbox.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_events.h"
#include "web/data/webhooks_table.h"
#include "web/notify/scheduled_mails.h"

namespace ostrand::web::notify {
namespace {

constexpr std::size_t kFanOutBatch = 100;
// Deliveries one sender takes per round: 3 attempts of 15 s end within the
// lease of a minute.
constexpr std::size_t kPerSender = 3;

}  // namespace

DeliveryWorker::DeliveryWorker(const Databases& databases, const feeds::TimeZone& zone,
                               std::map<std::string, Channel*> channels, WorkerSettings settings,
                               FailureReport report)
    : databases_(databases),
      zone_(zone),
      channels_(std::move(channels)),
      settings_(std::move(settings)),
      report_(std::move(report)) {
  for (const auto& [name, channel] : channels_) {
    if (channel != nullptr) channel_names_.push_back(name);
  }
}

DeliveryWorker::~DeliveryWorker() { Stop(); }

void DeliveryWorker::Start() {
  const std::lock_guard join(join_mutex_);
  const std::lock_guard lock(mutex_);
  if (thread_.joinable() || stopping_) return;
  thread_ = std::thread([this] { Run(); });
}

void DeliveryWorker::Stop() noexcept {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // The server's Stop and the end of its Listen may both get here.
  const std::lock_guard join(join_mutex_);
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void DeliveryWorker::Wake() noexcept {
  {
    const std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void DeliveryWorker::Run() noexcept {
  for (;;) {
    bool more = false;
    try {
      more = Round();
      round_failed_ = false;
    } catch (const std::exception& e) {
      if (!round_failed_ && report_) report_(0, 0, e.what());
      round_failed_ = true;
    }
    std::unique_lock lock(mutex_);
    if (!more) {
      wake_.wait_for(lock, settings_.poll, [this] { return stopping_ || woken_; });
    }
    woken_ = false;
    if (stopping_) break;
  }
  // The senders see the stop too (their attempts are cut short).
  for (auto& [key, sender] : senders_) sender.thread.join();
  senders_.clear();
}

bool DeliveryWorker::Round() {
  // Senders that are done leave; those still under way keep their
  // receiver's deliveries.
  for (auto it = senders_.begin(); it != senders_.end();) {
    if (!it->second.done->load()) {
      ++it;
      continue;
    }
    it->second.thread.join();
    it = senders_.erase(it);
  }
  // No connection is held while sending: an attempt may take 15 s. Each
  // webhook receiver is sent to in order on a thread of its own, so that
  // one that hangs holds up no other; every other channel gets one thread,
  // one delivery at a time (channel.h). A sender gets few enough to end
  // within the lease; the rest go back for the next round.
  std::map<SenderKey, std::vector<Delivery>> started;
  std::size_t fanned = 0;
  std::size_t taken = 0;
  // The outbox's commits change no plan: the leader pages' kept cells stay.
  databases_.RunQuietly([&](store::Connection& db) {
    const DateTime now = UtcNow();
    if (std::chrono::steady_clock::now() >= next_away_check_) {
      AddAwayLists(db, now);
      MakeScheduledMails(db, now, zone_);
      next_away_check_ = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    }
    Outbox outbox(db, settings_.owner);
    fanned = outbox.FanOut(now, kFanOutBatch);
    if (channel_names_.empty()) return;
    std::vector<Delivery> due = outbox.TakeDue(now, settings_.lease, settings_.batch, channel_names_);
    taken = due.size();
    for (Delivery& delivery : due) {
      const SenderKey key{delivery.channel,
                          delivery.channel == "webhook" ? delivery.receiver_id.value_or(0) : 0};
      std::vector<Delivery>& list = started[key];
      if (senders_.contains(key) || list.size() >= kPerSender) {
        outbox.Release(delivery.id);
      } else {
        list.push_back(std::move(delivery));
      }
    }
  });
  if (channel_names_.empty()) return fanned == kFanOutBatch;
  std::size_t sent = 0;
  for (auto& [key, list] : started) {
    if (list.empty()) continue;
    sent += list.size();
    Sender& sender = senders_[key];
    sender.done = std::make_shared<std::atomic<bool>>(false);
    sender.thread = std::thread([this, list = std::move(list), done = sender.done]() mutable {
      SendInOrder(list);
      done->store(true);
      Wake();  // what was given back while it was busy goes out now
    });
  }
  return fanned == kFanOutBatch || (sent > 0 && taken == settings_.batch);
}

void DeliveryWorker::SendInOrder(const std::vector<Delivery>& deliveries) noexcept {
  for (const Delivery& one : deliveries) {
    const Delivery* const delivery = &one;
    {
      const std::lock_guard lock(mutex_);
      if (stopping_) return;  // the lease ends and a server sends it later
    }
    const auto channel = channels_.find(delivery->channel);
    if (channel == channels_.end() || channel->second == nullptr) return;
    const DeliveryOutcome outcome = channel->second->Send(*delivery);
    try {
      if (outcome.kind != DeliveryOutcome::Kind::kDelivered && report_) {
        report_(delivery->id, outcome.status.value_or(0), outcome.error);
      }
      databases_.RunQuietly([&](store::Connection& db) {
        Outbox(db, settings_.owner).Finish(delivery->id, outcome, UtcNow());
      });
    } catch (const std::exception& e) {
      // Not recorded: the lease ends and the delivery is sent again.
      if (report_) report_(delivery->id, 0, e.what());
    }
  }
}

void DeliveryWorker::AddAwayLists(store::Connection& db, const DateTime& now) {
  const DateTime wall = zone_.FromUtc(now);
  const int hour = wall.hour();
  bool wanted = false;
  for (const Webhook& receiver : ListWebhooks(db)) {
    wanted = wanted || (receiver.active && receiver.Wants(kAwayToday) && receiver.away_hour == hour);
  }
  if (!wanted) return;
  NewEvent event;
  event.kind = kAwayToday;
  const std::string day = DateText(wall);
  event.key = "away.today-" + day + "-" + std::to_string(hour);
  event.body = AwayListBody(db, wall.DateOnly(), hour);
  event.at = now;
  AddEventOnce(db, event);
}

}  // namespace ostrand::web::notify
