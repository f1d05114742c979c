#include "web/notify/webhook_body.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

#include "core/date_text.h"
#include "plans/plan_record.h"
#include "store/sql_param.h"
#include "web/api/json_api.h"
#include "web/i18n/messages.h"

namespace ostrand::web::notify {
namespace {

using Json = nlohmann::json;

std::string TextField(const Json& object, std::string_view name) {
  if (!object.is_object()) return {};
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::optional<std::int64_t> IdField(const Json& object, std::string_view name) {
  if (!object.is_object()) return std::nullopt;
  const auto found = object.find(name);
  if (found == object.end() || !found->is_number_integer()) return std::nullopt;
  return found->get<std::int64_t>();
}

const Json& Field(const Json& object, std::string_view name) {
  static const Json kNull;
  if (!object.is_object()) return kNull;
  const auto found = object.find(name);
  return found != object.end() ? *found : kNull;
}

// A stored wall-clock time in the zone, or its text as stored when it
// reads as no date.
Json TimeIn(const std::string& stored, const feeds::TimeZone& zone) {
  if (const std::optional<DateTime> at = store::ReadStoredDateTime(stored)) {
    return IsoTimeIn(*at, zone);
  }
  return stored;
}

Json PlanData(const Json& plan, bool own, const feeds::TimeZone& zone) {
  plans::PlanRecord record;
  record.id = IdField(plan, "id").value_or(0);
  record.kind = TextField(plan, "kind");
  record.place = TextField(plan, "place");
  record.detail = TextField(plan, "detail");
  record.content = TextField(plan, "content");
  record.addition = TextField(plan, "addition");
  const Json& shared = Field(plan, "shared");
  record.shared = !shared.is_boolean() || shared.get<bool>();
  Json out = PlanJson(record, own, zone);
  out["start"] = TimeIn(TextField(plan, "start"), zone);
  out["end"] = TimeIn(TextField(plan, "end"), zone);
  return out;
}

Json PersonData(const Json& person) {
  if (!person.is_object()) return nullptr;
  return Json{{"id", IdField(person, "id") ? Json(*IdField(person, "id")) : Json(nullptr)},
              {"name", TextField(person, "name")}};
}

Json Data(const Webhook& receiver, const StoredEvent& event, const Json& stored,
          const feeds::TimeZone& zone) {
  Json data = Json::object();
  if (event.kind == kAwayToday) {
    data["date"] = TextField(stored, "date");
    data["away"] = Json::array();
    const Json& away = Field(stored, "away");
    if (away.is_array()) {
      for (const Json& entry : away) {
        data["away"].push_back(Json{{"person", PersonData(Field(entry, "person"))},
                                    {"kind", TextField(entry, "kind")},
                                    {"place", TextField(entry, "place")},
                                    {"start", TimeIn(TextField(entry, "start"), zone)},
                                    {"end", TimeIn(TextField(entry, "end"), zone)}});
      }
    }
    return data;
  }
  data["person"] = PersonData(Field(stored, "person"));
  data["actor"] = PersonData(Field(stored, "actor"));
  if (Field(stored, "plan").is_object()) {
    data["plan"] = PlanData(Field(stored, "plan"), receiver.sees_private, zone);
  }
  return data;
}

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

// "2026-12-10 09:00" of a stored time, or the text as stored.
std::string ShortTime(const std::string& stored) {
  const std::optional<DateTime> at = store::ReadStoredDateTime(stored);
  if (!at) return stored;
  return MinuteText(*at);
}

std::string PlanLine(const Json& plan) {
  std::string line = ShortTime(TextField(plan, "start")) + "–" + ShortTime(TextField(plan, "end"));
  const std::string kind = TextField(plan, "kind");
  const std::string place = TextField(plan, "place");
  if (!kind.empty()) line += " " + kind;
  if (!place.empty()) line += (kind.empty() ? " " : "·") + place;
  const std::string content = TextField(plan, "content");
  if (!content.empty()) line += " " + content;
  return line;
}

// Control characters (line breaks included) of stored texts become blanks:
// the line stays one line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

}  // namespace

std::string ChatLine(const StoredEvent& event, Language language) {
  const Json stored = Json::parse(event.body, nullptr, false);
  const std::string person = TextField(Field(stored, "person"), "name");
  if (event.kind == kAwayToday) {
    const std::string date = TextField(stored, "date");
    const Json& away = Field(stored, "away");
    if (!away.is_array() || away.empty()) {
      return OneLine(Format(language, MessageId::kChatNobodyAway, {date}));
    }
    std::string list;
    for (const Json& entry : away) {
      if (!list.empty()) list += language == Language::kChinese ? "；" : "; ";
      list += TextField(Field(entry, "person"), "name");
      std::string where = TextField(entry, "kind");
      const std::string place = TextField(entry, "place");
      if (!place.empty()) where += (where.empty() ? "" : "·") + place;
      if (!where.empty()) list += language == Language::kChinese ? "（" + where + "）" : " (" + where + ")";
    }
    return OneLine(Format(language, MessageId::kChatAwayToday, {date, list}));
  }
  if (event.kind == kPersonAdded) return OneLine(Format(language, MessageId::kChatPersonAdded, {person}));
  if (event.kind == kPersonRetired) {
    return OneLine(Format(language, MessageId::kChatPersonRetired, {person}));
  }
  MessageId id = MessageId::kChatPlanAdded;
  if (event.kind == kPlanChanged) id = MessageId::kChatPlanChanged;
  if (event.kind == kPlanDeleted) id = MessageId::kChatPlanDeleted;
  if (event.kind == kPlanRestored) id = MessageId::kChatPlanRestored;
  const Json& actor = Field(stored, "actor");
  const std::string actor_name = actor.is_object()
                                     ? TextField(actor, "name")
                                     : std::string(Text(language, MessageId::kChatAnotherProgram));
  return OneLine(Format(language, id, {actor_name, person, PlanLine(Field(stored, "plan"))}));
}

std::string WebhookBody(const Webhook& receiver, const StoredEvent& event,
                        const feeds::TimeZone& zone) {
  if (receiver.format == kWebhookFormatChat) {
    return Dump(Json{{"text", ChatLine(event, kDefaultLanguage)}});
  }
  const Json stored = Json::parse(event.body, nullptr, false);
  return Dump(Json{{"type", event.kind},
                   {"timestamp", event.at ? IsoUtcText(*event.at) : std::string()},
                   {"data", Data(receiver, event, stored, zone)}});
}

}  // namespace ostrand::web::notify
