// What the site's mails say, in the addressee's language (hostMailAddress):
// one function per kind giving the subject, the plain text and the HTML
// (every outside text escaped by core/html.h), and the one function that
// makes the mail of an outbox delivery from what it tells of and what the
// database holds when it is sent:
//   - "changes": the plan events of a person's delivery (the outbox
//     gathers ten minutes of them into one), each with who made it, what
//     happened (added, changed, deleted, restored), the day, the times,
//     the kind of place, the place and the content;
//   - "weekly": for a leader, the week starting on the event's Monday: one
//     row per person of the leader's first list (LeaderListPersons under
//     the operator's leader condition), one column per weekday, the places
//     of the shared plans in the cells;
//   - "away": for a leader, who of that list is away from the office on
//     the event's day (the shared plans in town, out of town or abroad);
//   - "invitation" and "reset": the link an administrator's invitation or
//     access reset made (fixed when queued: the delivery's body, or the
//     event's, is {"link": "..."}).
// The mails of a choice (changes, weekly, away) end with the signed
// unsubscribe link (unsubscribe.h) and carry it in List-Unsubscribe.
//
// The events of plans carry the plan in their body under "plan" (or as the
// body itself): "start" and "end" (stored or ISO 8601 times), "kind" (the
// kind of place), "place" and "content".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "feeds/time_zone.h"
#include "store/connection.h"
#include "web/auth/session_cookie.h"
#include "web/data/department_plans.h"
#include "web/data/outbox.h"
#include "web/data/persons.h"
#include "web/i18n/language.h"
#include "web/notify/mail_message.h"
#include "web/site/server_options.h"

namespace ostrand::web::notify {

// A mail's words.
struct MailText {
  std::string subject;
  std::string text;
  std::string html;
};

// One change of a plan, as a "changes" mail lists it.
struct PlanChange {
  std::string kind;   // kPlanAdded, kPlanChanged, kPlanDeleted or kPlanRestored
  std::string actor;  // who made it; empty: another program
  std::string start;  // "2026-12-14 09:00", as the event gave it
  std::string end;
  std::string place_kind;
  std::string place;
  std::string content;
};

// The change an event of `kind` tells of, from its JSON `body`; nothing
// when the kind is no plan event or the body is no JSON object. Fields
// that are missing or no text stay empty. Never throws.
std::optional<PlanChange> ReadPlanChange(std::string_view kind, std::string_view body);

// The name of a mail choice (kMailChoices) in the language, for the
// unsubscribe page and the mails' footers; the choice itself when unknown.
std::string ChoiceName(Language language, std::string_view choice);

// The mails, one per kind. `unsubscribe_url` is the link of the footer.
MailText ChangesMail(Language language, std::string_view name,
                     const std::vector<PlanChange>& changes, std::string_view unsubscribe_url);
// `persons` in their order; `plans` the shared plans of the week, any order.
MailText WeeklyMail(Language language, std::string_view name, const DateTime& monday,
                    const std::vector<Person>& persons, const std::vector<DepartmentPlan>& plans,
                    std::string_view unsubscribe_url);
// `plans`: the shared plans of the day away from the office, by person.
MailText AwayMail(Language language, std::string_view name, const DateTime& day,
                  const std::vector<Person>& persons, const std::vector<DepartmentPlan>& plans,
                  std::string_view unsubscribe_url);
// `reset`: a person who has a password was given a new link.
MailText AccessMail(Language language, std::string_view name, std::string_view link, bool reset);

// What a server's mails need of it.
struct MailSite {
  const ServerOptions& options;  // options.mail set; public_url the links' base
  const SessionSigner& signer;   // seals the unsubscribe links
  const feeds::TimeZone& zone;   // of the plans
};

// The mail of the delivery, made at `now` (UTC); nothing when the
// addressee has no mail address. The kind is the delivery's mail_kind, or
// else that of its first event. Throws Error (kBadInput) for a delivery of
// no known kind or without what its kind needs (no link, no day), and the
// database's Error.
std::optional<MailMessage> MailOfDelivery(store::Connection& db, const MailSite& site,
                                          const Delivery& delivery, const DateTime& now);

}  // namespace ostrand::web::notify
