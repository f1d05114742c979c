#include "web/api/json_api.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/date_text.h"
#include "core/error.h"
#include "feeds/feed_source.h"
#include "store/plan_store.h"
#include "web/api/asked_days.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/sign_in.h"
#include "web/auth/visitor.h"
#include "web/data/persons.h"
#include "web/data/plan_changes.h"
#include "web/http/authorization.h"
#include "web/http/form_fields.h"
#include "web/http/json_response.h"
#include "web/http/request_values.h"
#include "web/pages/error_answer.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {
namespace {

using Json = nlohmann::json;

// A refusal to a caller without a valid session or token: 401 with the
// challenge that says why.
http::Response Unauthorized(std::string_view message, std::string_view challenge) {
  http::Response response = http::JsonError(401, message);
  response.AddHeader("WWW-Authenticate", challenge);
  return response;
}

std::string IsoUtc(const DateTime& t) { return IsoUtcText(t); }

// Who is asking, and whether he or she holds a leading duty.
struct Caller {
  Person person;
  bool leader = false;
};

}  // namespace

std::string IsoTimeIn(const DateTime& wall, const feeds::TimeZone& zone) {
  if (zone.is_utc()) return IsoUtcText(wall);
  return IsoOffsetText(wall, zone.UtcOffsetSeconds(wall));
}

std::optional<http::Response> JsonApi::Refusal(const http::Request& request) {
  if (request.path != kApiPlansPath && request.path != kApiDepartmentPath) {
    return http::JsonError(404, "no such address in the API: the paths are " +
                                    std::string(kApiPlansPath) + " and " +
                                    std::string(kApiDepartmentPath));
  }
  if (request.method != "GET" && request.method != "HEAD") {
    http::Response response =
        http::JsonError(405, "the method " + request.method.substr(0, 16) +
                                 " is not allowed here: the API is read with GET or HEAD");
    response.AddHeader("Allow", "GET, HEAD");
    return response;
  }
  return std::nullopt;
}

http::Response JsonApi::ServerAnswer(int status, std::string_view message,
                                     std::string_view incident) {
  return http::JsonError(status, message, incident);
}

http::Response JsonApi::Serve(const http::Request& request) const {
  try {
    return Answer(request);
  } catch (...) {
    return ErrorAnswer(std::current_exception(), Language::kEnglish, nullptr, AnswerForm::kJson);
  }
}

http::Response JsonApi::Answer(const http::Request& request) const {
  const store::ConnectionPool::Lease lease = databases_.OpenHost();
  store::Connection& db = *lease;

  std::optional<Caller> caller;
  const std::string_view authorization = request.HeaderValue("Authorization");
  if (!authorization.empty()) {
    const std::optional<std::string_view> token = http::ReadBearerCredentials(authorization);
    if (!token) {
      return Unauthorized("the Authorization header is no bearer token",
                          "Bearer realm=\"ostrand\", error=\"invalid_request\"");
    }
    const std::optional<std::int64_t> owner =
        PersonalTokens::FindOwner(db, TokenPurpose::kApi, *token);
    std::optional<Person> person = owner ? FindPerson(db, *owner) : std::nullopt;
    if (!person) {
      return Unauthorized("the token is not valid (wrong, replaced or revoked)",
                          "Bearer realm=\"ostrand\", error=\"invalid_token\"");
    }
    caller = Caller{*person, IsLeader(*person, LeadingDutiesNow(options_, db))};
  } else if (std::optional<Visitor> visitor =
                 LoadVisitor(request, db, signer_, LeadingDutiesNow(options_, db))) {
    caller = Caller{visitor->person, visitor->leader};
  } else {
    return Unauthorized("sign in, or send a personal API token as Authorization: Bearer",
                        "Bearer realm=\"ostrand\"");
  }

  const http::FormFields query = http::ParseFields(request.query);
  feeds::FeedRange range;
  try {
    range = ReadAskedDays(query, options_, zone_).range;
  } catch (const feeds::RangeError& e) {
    throw Error(e.message(), ErrorKind::kBadInput);
  } catch (const Error& e) {
    throw Error(e.message_text(), ErrorKind::kBadInput);
  }

  store::PlanStore store;
  store.Open(databases_.connection_string());
  Json body{{"timeZone", zone_.name()}, {"from", IsoDate(range.first)}, {"to", IsoDate(range.last)}};
  // A plan as the caller may see it.
  const auto plan_json = [&](const plans::PlanRecord& plan, bool own) {
    return PlanJson(plan, own, zone_);
  };

  if (request.path == kApiPlansPath) {
    std::int64_t id = caller->person.id;
    if (const std::optional<std::string> text = http::FindField(query, "person");
        text && !text->empty()) {
      id = ReadPersonIdValue("person", *text);
    }
    const bool own = id == caller->person.id;
    if (!own) {
      const std::optional<Person> shown = FindPerson(db, id);
      if (!shown) throw Error("no person with id " + std::to_string(id), ErrorKind::kNotFound);
      if (!caller->person.system_id || shown->system_id != caller->person.system_id) {
        throw Error("only persons of one's own department can be read", ErrorKind::kForbidden);
      }
    }
    std::optional<plans::PersonPlans> person = feeds::LoadPerson(
        store, id, own ? feeds::FeedView::kOwn : feeds::FeedView::kColleague, range);
    if (!person) throw Error("no person with id " + std::to_string(id), ErrorKind::kNotFound);
    std::vector<plans::PersonPlans> persons{std::move(*person)};
    AddRecordedChanges(db, persons);
    body["person"] = Json{{"id", persons.front().person_id}, {"name", persons.front().name}};
    Json list = Json::array();
    for (const plans::PlanRecord& plan : persons.front().plans) {
      if (own || plan.shared) list.push_back(plan_json(plan, own));
    }
    body["plans"] = std::move(list);
  } else {
    if (!caller->leader) {
      throw Error("the department is open to the leading duties only", ErrorKind::kForbidden);
    }
    if (!caller->person.system_id) {
      throw Error("the caller belongs to no department", ErrorKind::kForbidden);
    }
    const std::string list_text = http::FieldOrEmpty(query, "list");
    if (!list_text.empty() && list_text != "1" && list_text != "2") {
      throw Error("list '" + list_text.substr(0, 16) + "' is neither 1 nor 2", ErrorKind::kBadInput);
    }
    const std::string cond = LeaderCondition(options_, list_text == "2");
    std::vector<plans::PersonPlans> persons =
        feeds::LoadDepartment(store, IdValue(*caller->person.system_id), Value::Text(cond), range);
    AddRecordedChanges(db, persons);
    Json list = Json::array();
    for (const plans::PersonPlans& person : persons) {
      Json shown_plans = Json::array();
      for (const plans::PlanRecord& plan : person.plans) {
        if (plan.shared) shown_plans.push_back(plan_json(plan, false));
      }
      list.push_back(Json{{"id", person.person_id}, {"name", person.name}, {"plans", shown_plans}});
    }
    body["persons"] = std::move(list);
  }
  http::Response response = http::JsonResponse(200, body);
  response.person = caller->person.id;
  return response;
}

nlohmann::json PlanJson(const plans::PlanRecord& plan, bool own, const feeds::TimeZone& zone) {
  Json out{{"id", plan.id},
           {"start", IsoTimeIn(plan.start, zone)},
           {"end", IsoTimeIn(plan.end, zone)},
           {"kind", plan.kind},
           {"place", plan.place}};
  if (own) out["detail"] = plan.detail;
  out["content"] = plan.content;
  if (own) {
    out["addition"] = plan.addition;
    out["shared"] = plan.shared;
  }
  if (plan.revision) out["revision"] = *plan.revision;
  if (plan.last_modified) out["lastModified"] = IsoUtc(*plan.last_modified);
  return out;
}

}  // namespace ostrand::web
