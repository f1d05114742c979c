#include "web/notify/mail_content.h"

#include <algorithm>
#include <array>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "core/error.h"
#include "core/html.h"
#include "core/text.h"
#include "plans/place_kind.h"
#include "web/auth/invitations.h"
#include "web/auth/visitor.h"
#include "web/data/mail_settings.h"
#include "web/i18n/messages.h"
#include "web/notify/unsubscribe.h"
#include "web/pages/day_marks.h"
#include "web/pages/subscribe_page.h"

namespace ostrand::web::notify {
namespace {

using Json = nlohmann::json;

constexpr const auto& kAwayKinds = plans::kAwayPlaceKinds;

std::string Field(const Json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

Json ObjectOf(std::string_view text) {
  Json json = Json::parse(text.begin(), text.end(), nullptr, false);
  return json.is_object() ? json : Json();
}

// "2026-12-14T09:00:00+08:00" or "2026-12-14 09:00:00" as
// "2026-12-14 09:00"; other text as it is.
std::string ShownTime(std::string_view iso) {
  if (iso.size() >= 16 && (iso[10] == 'T' || iso[10] == ' ')) {
    return std::string(iso.substr(0, 10)) + " " + std::string(iso.substr(11, 5));
  }
  return std::string(iso);
}

std::string_view DayPart(std::string_view shown) { return shown.substr(0, shown.find(' ')); }
std::string_view TimePart(std::string_view shown) {
  const std::size_t blank = shown.find(' ');
  return blank == std::string_view::npos ? std::string_view() : shown.substr(blank + 1);
}

// The frame of every mail's HTML: a document in the language whose styles
// stand in the elements, as mail programs keep them.
void AppendStart(std::string& out, Language language, std::string_view title,
                 std::string_view intro) {
  out += "<!DOCTYPE html>\n<html lang=\"";
  out += LanguageTag(language);
  out += "\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendEscapedHtml(out, title);
  out += "</title>\n</head>\n<body style=\"margin:0;padding:16px;background:#ffffff;color:#1f2933;"
         "font-family:'Segoe UI',Arial,'Microsoft YaHei','WenQuanYi Micro Hei',sans-serif;"
         "font-size:15px;line-height:1.5\">\n<div style=\"max-width:760px;margin:0 auto\">\n"
         "<h1 style=\"font-size:20px;margin:0 0 12px;color:#17406b\">";
  AppendEscapedHtml(out, title);
  out += "</h1>\n<p>";
  AppendEscapedHtml(out, intro);
  out += "</p>\n";
}

void AppendEnd(std::string& out, Language language, std::string_view choice,
               std::string_view unsubscribe_url) {
  if (!unsubscribe_url.empty()) {
    out += "<hr style=\"border:0;border-top:1px solid #d5dbe1;margin:20px 0 8px\">\n"
           "<p style=\"font-size:12px;color:#616e7c\">";
    AppendEscapedHtml(out, Format(language, MessageId::kMailFooter, {ChoiceName(language, choice)}));
    out += " <a href=\"";
    AppendEscapedHtml(out, unsubscribe_url);
    out += "\" style=\"color:#17406b\">";
    AppendEscapedHtml(out, Text(language, MessageId::kMailUnsubscribeLink));
    out += "</a></p>\n";
  }
  out += "</div>\n</body>\n</html>\n";
}

void AppendTextEnd(std::string& out, Language language, std::string_view choice,
                   std::string_view unsubscribe_url) {
  out += "\n-- \n";
  out += Format(language, MessageId::kMailFooter, {ChoiceName(language, choice)});
  out += '\n';
  out += Format(language, MessageId::kMailUnsubscribeText, {unsubscribe_url});
  out += '\n';
}

constexpr std::string_view kCell = "padding:4px 8px;border:1px solid #d5dbe1;vertical-align:top";
constexpr std::string_view kHeadCell =
    "padding:4px 8px;border:1px solid #d5dbe1;background:#eef2f6;text-align:left";

void AppendCell(std::string& out, std::string_view tag, std::string_view style,
                std::string_view text) {
  out += '<';
  out += tag;
  out += " style=\"";
  out += style;
  out += "\">";
  AppendEscapedHtml(out, text);
  out += "</";
  out += tag;
  out += ">";
}

void AppendTableStart(std::string& out) {
  out += "<table style=\"border-collapse:collapse;font-size:14px;margin:8px 0\">\n";
}

std::string_view PlaceOf(const DepartmentPlan& plan) {
  return plan.place_name.empty() ? std::string_view(plan.kind_name)
                                 : std::string_view(plan.place_name);
}

std::string ChangeWord(Language language, const PlanChange& change) {
  MessageId id = MessageId::kMailChangeChanged;
  if (change.kind == kPlanAdded) id = MessageId::kMailChangeAdded;
  if (change.kind == kPlanDeleted) id = MessageId::kMailChangeDeleted;
  if (change.kind == kPlanRestored) id = MessageId::kMailChangeRestored;
  const std::string actor =
      change.actor.empty() ? std::string(Text(language, MessageId::kMailActorProgram)) : change.actor;
  return Format(language, id, {actor});
}

std::string ChangeDays(const PlanChange& change) {
  const std::string_view first = DayPart(change.start);
  const std::string_view last = DayPart(change.end);
  if (last.empty() || first == last) return std::string(first);
  return std::string(first) + " – " + std::string(last);
}

std::string ChangeTimes(const PlanChange& change) {
  const std::string_view from = TimePart(change.start);
  const std::string_view to = TimePart(change.end);
  if (to.empty()) return std::string(from);
  return std::string(from) + "–" + std::string(to);
}

}  // namespace

std::optional<PlanChange> ReadPlanChange(std::string_view kind, std::string_view body) {
  if (kind != kPlanAdded && kind != kPlanChanged && kind != kPlanDeleted && kind != kPlanRestored) {
    return std::nullopt;
  }
  const Json json = ObjectOf(body);
  if (!json.is_object()) return std::nullopt;
  const auto plan_field = json.find("plan");
  const Json& plan = plan_field != json.end() && plan_field->is_object() ? *plan_field : json;
  PlanChange change;
  change.kind = std::string(kind);
  change.start = ShownTime(Field(plan, "start"));
  change.end = ShownTime(Field(plan, "end"));
  change.place_kind = Field(plan, "kind");
  change.place = Field(plan, "place");
  change.content = Field(plan, "content");
  return change;
}

std::string ChoiceName(Language language, std::string_view choice) {
  if (choice == kMailChanges) return std::string(Text(language, MessageId::kMailChoiceNameChanges));
  if (choice == kMailWeeklySummary) return std::string(Text(language, MessageId::kMailChoiceNameWeekly));
  if (choice == kMailAwayList) return std::string(Text(language, MessageId::kMailChoiceNameAway));
  return std::string(choice);
}

MailText ChangesMail(Language language, std::string_view name,
                     const std::vector<PlanChange>& changes, std::string_view unsubscribe_url) {
  MailText mail;
  mail.subject = Text(language, MessageId::kMailChangesSubject);
  const std::string intro = Format(language, MessageId::kMailChangesIntro, {name});
  AppendStart(mail.html, language, mail.subject, intro);
  AppendTableStart(mail.html);
  mail.html += "<tr>";
  for (const MessageId id : {MessageId::kMailColumnChange, MessageId::kMailColumnDay,
                             MessageId::kMailColumnTime, MessageId::kMailColumnKind,
                             MessageId::kMailColumnPlace, MessageId::kMailColumnContent}) {
    AppendCell(mail.html, "th", kHeadCell, Text(language, id));
  }
  mail.html += "</tr>\n";
  mail.text = intro + "\n\n";
  for (const PlanChange& change : changes) {
    const std::string word = ChangeWord(language, change);
    const std::string days = ChangeDays(change);
    const std::string times = ChangeTimes(change);
    mail.html += "<tr>";
    for (const std::string_view cell :
         {std::string_view(word), std::string_view(days), std::string_view(times),
          std::string_view(change.place_kind), std::string_view(change.place),
          std::string_view(change.content)}) {
      AppendCell(mail.html, "td", kCell, cell);
    }
    mail.html += "</tr>\n";
    mail.text += "- " + word + ": " + days;
    if (!times.empty()) mail.text += " " + times;
    if (!change.place_kind.empty()) mail.text += ", " + change.place_kind;
    if (!change.place.empty()) mail.text += ", " + change.place;
    if (!change.content.empty()) mail.text += ": " + change.content;
    mail.text += '\n';
  }
  mail.html += "</table>\n";
  AppendEnd(mail.html, language, kMailChanges, unsubscribe_url);
  AppendTextEnd(mail.text, language, kMailChanges, unsubscribe_url);
  return mail;
}

MailText WeeklyMail(Language language, std::string_view name, const DateTime& monday,
                    const std::vector<Person>& persons, const std::vector<DepartmentPlan>& plans,
                    std::string_view unsubscribe_url) {
  constexpr int kDays = 7;
  const DateTime first = monday.DateOnly();
  const DateTime last = first.AddDays(kDays - 1);
  MailText mail;
  mail.subject = Format(language, MessageId::kMailWeeklySubject, {ShortDate(language, first)});
  const std::string intro = Format(language, MessageId::kMailWeeklyIntro,
                                   {name, ShortDate(language, first), ShortDate(language, last)});
  // The places of each person's days.
  std::map<std::int64_t, std::array<std::vector<std::string>, kDays>> cells;
  for (const DepartmentPlan& plan : plans) {
    auto& row = cells[plan.person_id];
    for (int d = 0; d < kDays; ++d) {
      const std::int64_t day = first.day() + d;
      if (plan.start.day() <= day && day <= plan.end.day()) {
        std::vector<std::string>& cell = row[static_cast<std::size_t>(d)];
        const std::string place(PlaceOf(plan));
        if (std::find(cell.begin(), cell.end(), place) == cell.end()) cell.push_back(place);
      }
    }
  }
  const std::string nothing(Text(language, MessageId::kMailNothingPlanned));
  const auto joined = [](const std::vector<std::string>& places) {
    std::string text;
    for (const std::string& place : places) {
      if (!text.empty()) text += ", ";
      text += place;
    }
    return text;
  };
  AppendStart(mail.html, language, mail.subject, intro);
  AppendTableStart(mail.html);
  mail.html += "<tr>";
  AppendCell(mail.html, "th", kHeadCell, Text(language, MessageId::kMailColumnPerson));
  std::array<std::string, kDays> headings;
  for (int d = 0; d < kDays; ++d) {
    const DateTime day = first.AddDays(d);
    headings[static_cast<std::size_t>(d)] =
        std::string(WeekdayName(language, day.weekday())) + " " + ShortDate(language, day);
    AppendCell(mail.html, "th", kHeadCell, headings[static_cast<std::size_t>(d)]);
  }
  mail.html += "</tr>\n";
  mail.text = intro + "\n";
  for (const Person& person : persons) {
    const auto found = cells.find(person.id);
    mail.html += "<tr>";
    AppendCell(mail.html, "th", kHeadCell, person.name);
    mail.text += "\n" + person.name + "\n";
    for (int d = 0; d < kDays; ++d) {
      const std::string places =
          found == cells.end() ? std::string() : joined(found->second[static_cast<std::size_t>(d)]);
      AppendCell(mail.html, "td", kCell, places);
      mail.text += "  " + headings[static_cast<std::size_t>(d)] + ": " +
                   (places.empty() ? nothing : places) + "\n";
    }
    mail.html += "</tr>\n";
  }
  mail.html += "</table>\n";
  AppendEnd(mail.html, language, kMailWeeklySummary, unsubscribe_url);
  AppendTextEnd(mail.text, language, kMailWeeklySummary, unsubscribe_url);
  return mail;
}

MailText AwayMail(Language language, std::string_view name, const DateTime& day,
                  const std::vector<Person>& persons, const std::vector<DepartmentPlan>& plans,
                  std::string_view unsubscribe_url) {
  MailText mail;
  const std::string day_text = ShortDate(language, day);
  mail.subject = Format(language, MessageId::kMailAwaySubject, {day_text});
  const std::string intro = Format(language, MessageId::kMailAwayIntro, {name, day_text});
  AppendStart(mail.html, language, mail.subject, intro);
  mail.text = intro + "\n\n";
  std::map<std::int64_t, std::string> names;
  for (const Person& person : persons) names[person.id] = person.name;
  if (plans.empty()) {
    const std::string_view nobody = Text(language, MessageId::kMailAwayNobody);
    mail.html += "<p>";
    AppendEscapedHtml(mail.html, nobody);
    mail.html += "</p>\n";
    mail.text += std::string(nobody) + "\n";
  } else {
    AppendTableStart(mail.html);
    mail.html += "<tr>";
    for (const MessageId id : {MessageId::kMailColumnPerson, MessageId::kMailColumnKind,
                               MessageId::kMailColumnPlace, MessageId::kMailColumnContent,
                               MessageId::kMailColumnDay}) {
      AppendCell(mail.html, "th", kHeadCell, Text(language, id));
    }
    mail.html += "</tr>\n";
    for (const DepartmentPlan& plan : plans) {
      const auto found = names.find(plan.person_id);
      const std::string person = found == names.end() ? std::to_string(plan.person_id) : found->second;
      const std::string days = plan.start.day() == plan.end.day()
                                   ? ShortDate(language, plan.start)
                                   : ShortDate(language, plan.start) + "–" +
                                         ShortDate(language, plan.end);
      mail.html += "<tr>";
      AppendCell(mail.html, "th", kHeadCell, person);
      for (const std::string_view cell : {std::string_view(plan.kind_name),
                                          std::string_view(plan.place_name),
                                          std::string_view(plan.content), std::string_view(days)}) {
        AppendCell(mail.html, "td", kCell, cell);
      }
      mail.html += "</tr>\n";
      mail.text += "- " + person + ": " + plan.kind_name;
      if (!plan.place_name.empty()) mail.text += ", " + plan.place_name;
      if (!plan.content.empty()) mail.text += ": " + plan.content;
      mail.text += " (" + days + ")\n";
    }
    mail.html += "</table>\n";
  }
  AppendEnd(mail.html, language, kMailAwayList, unsubscribe_url);
  AppendTextEnd(mail.text, language, kMailAwayList, unsubscribe_url);
  return mail;
}

MailText AccessMail(Language language, std::string_view name, std::string_view link, bool reset) {
  MailText mail;
  mail.subject =
      Text(language, reset ? MessageId::kMailResetSubject : MessageId::kMailInvitationSubject);
  const std::string body =
      Format(language, reset ? MessageId::kMailResetBody : MessageId::kMailInvitationBody,
             {name, std::to_string(kInvitationDays)});
  const std::string_view unexpected = Text(language, MessageId::kMailNotExpected);
  AppendStart(mail.html, language, mail.subject, body);
  mail.html += "<p><a href=\"";
  AppendEscapedHtml(mail.html, link);
  mail.html += "\" style=\"display:inline-block;padding:8px 16px;background:#17406b;color:#ffffff;"
               "text-decoration:none;border-radius:4px\">";
  AppendEscapedHtml(mail.html, Text(language, MessageId::kMailChooseButton));
  mail.html += "</a></p>\n<p style=\"font-size:13px;word-break:break-all\">";
  AppendEscapedHtml(mail.html, link);
  mail.html += "</p>\n<p style=\"font-size:13px;color:#616e7c\">";
  AppendEscapedHtml(mail.html, unexpected);
  mail.html += "</p>\n";
  AppendEnd(mail.html, language, {}, {});
  mail.text = body + "\n\n" + std::string(link) + "\n\n" + std::string(unexpected) + "\n";
  return mail;
}

namespace {

std::string KindOfDelivery(const Delivery& delivery) {
  if (!delivery.mail_kind.empty()) return delivery.mail_kind;
  if (delivery.events.empty()) return {};
  const std::string& kind = delivery.events.front().kind;
  if (kind == kMailInvitation) return "invitation";
  if (kind == kMailReset) return "reset";
  if (kind == kMailWeekly) return std::string(kMailWeeklySummary);
  if (kind == kMailAway) return std::string(kMailAwayList);
  if (kind.starts_with("plan.")) return std::string(kMailChanges);
  return {};
}

// A day the event's body names under `field` ("2026-12-14"), else the day
// of the event in the plans' zone.
DateTime EventDay(const Delivery& delivery, const char* field, const feeds::TimeZone& zone) {
  for (const StoredEvent& event : delivery.events) {
    const Json body = ObjectOf(event.body);
    if (body.is_object()) {
      if (const std::optional<DateTime> day = DateTime::Parse(Field(body, field))) {
        return day->DateOnly();
      }
    }
    if (event.at) return zone.FromUtc(*event.at).DateOnly();
  }
  throw Error("the mail of delivery " + std::to_string(delivery.id) + " names no day",
              ErrorKind::kBadInput);
}

std::string LinkOf(const Delivery& delivery) {
  std::vector<std::string_view> bodies{delivery.body};
  for (const StoredEvent& event : delivery.events) bodies.push_back(event.body);
  for (const std::string_view text : bodies) {
    const Json body = ObjectOf(text);
    if (!body.is_object()) continue;
    const std::string link = Field(body, "link");
    if (StartsWithNoCase(link, "https://") || StartsWithNoCase(link, "http://")) return link;
  }
  throw Error("the mail of delivery " + std::to_string(delivery.id) + " holds no link",
              ErrorKind::kBadInput);
}

Person LeaderOf(store::Connection& db, const MailSite& site, const Person& person) {
  if (!person.system_id || !IsLeader(person, LeadingDutiesNow(site.options, db))) {
    throw Error("person " + std::to_string(person.id) + " leads no list any more",
                ErrorKind::kBadInput);
  }
  return person;
}

}  // namespace

std::optional<MailMessage> MailOfDelivery(store::Connection& db, const MailSite& site,
                                          const Delivery& delivery, const DateTime& now) {
  if (!site.options.mail) throw Error("no mail server is configured");
  if (!delivery.person_id) {
    throw Error("mail delivery " + std::to_string(delivery.id) + " has no addressee",
                ErrorKind::kBadInput);
  }
  const std::optional<Person> person = FindPerson(db, *delivery.person_id);
  const std::optional<MailAddress> address = MailAddressOf(db, *delivery.person_id);
  if (!person || !address) return std::nullopt;
  const Language language = ReadLanguageCode(address->language).value_or(kDefaultLanguage);
  const std::string kind = KindOfDelivery(delivery);
  std::string base = SiteBase(site.options, {}, std::to_string(site.options.port));
  while (base.ends_with('/')) base.pop_back();

  MailMessage mail;
  mail.from_address = site.options.mail->from;
  mail.from_name = Text(language, MessageId::kSiteName);
  mail.to_address = address->address;
  const auto unsubscribe = [&](std::string_view choice) {
    mail.unsubscribe_url = UnsubscribeLink(
        base, UnsubscribeToken(site.signer, {person->id, std::string(choice)}, UnixSecondsOf(now)));
    return mail.unsubscribe_url;
  };
  MailText text;
  if (kind == kMailChanges) {
    std::vector<PlanChange> changes;
    std::map<std::int64_t, std::string> actors;
    for (const StoredEvent& event : delivery.events) {
      // One's own changes are no news to oneself.
      if (event.actor_id && *event.actor_id == person->id) continue;
      std::optional<PlanChange> change = ReadPlanChange(event.kind, event.body);
      if (!change) continue;
      if (event.actor_id) {
        auto found = actors.find(*event.actor_id);
        if (found == actors.end()) {
          const std::optional<Person> actor = FindPerson(db, *event.actor_id);
          found = actors.emplace(*event.actor_id, actor ? actor->name : std::string()).first;
        }
        change->actor = found->second;
      }
      changes.push_back(std::move(*change));
    }
    if (changes.empty()) {
      throw Error("mail delivery " + std::to_string(delivery.id) + " tells of no change",
                  ErrorKind::kBadInput);
    }
    text = ChangesMail(language, person->name, changes, unsubscribe(kMailChanges));
  } else if (kind == kMailWeeklySummary || kind == kMailAwayList) {
    const Person leader = LeaderOf(db, site, *person);
    const bool weekly = kind == kMailWeeklySummary;
    const DateTime first = EventDay(delivery, weekly ? "week" : "day", site.zone);
    const DateTime last = weekly ? first.AddDays(6) : first;
    const std::string cond = LeaderCondition(site.options, false);
    const std::vector<Person> persons = LeaderListPersons(db, *leader.system_id, cond);
    std::vector<DepartmentPlan> plans = LeaderListPlans(db, *leader.system_id, cond, first, last);
    if (weekly) {
      text = WeeklyMail(language, person->name, first, persons, plans, unsubscribe(kind));
    } else {
      std::erase_if(plans, [](const DepartmentPlan& plan) {
        return !plan.kind_id || std::find(kAwayKinds.begin(), kAwayKinds.end(), *plan.kind_id) ==
                                    kAwayKinds.end();
      });
      text = AwayMail(language, person->name, first, persons, plans, unsubscribe(kind));
    }
  } else if (kind == "invitation" || kind == "reset") {
    text = AccessMail(language, person->name, LinkOf(delivery), kind == "reset");
  } else {
    throw Error("mail delivery " + std::to_string(delivery.id) + " is of no known kind '" +
                    kind.substr(0, 40) + "'",
                ErrorKind::kBadInput);
  }
  mail.subject = std::move(text.subject);
  mail.text = std::move(text.text);
  mail.html = std::move(text.html);
  return mail;
}

}  // namespace ostrand::web::notify
