#include "web/dav/dav_server.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "feeds/event_object.h"
#include "web/dav/dav_paths.h"
#include "web/dav/dav_request.h"
#include "web/dav/dav_response.h"
#include "web/http/answer_coding.h"
#include "web/http/conditional.h"
#include "web/http/url.h"
#include "web/i18n/messages.h"
#include "web/pages/error_answer.h"
#include "web/pages/language_switch.h"
#include "web/pages/page_paths.h"

namespace ostrand::web::dav {
namespace {

constexpr std::string_view kCalendarType = "text/calendar; charset=utf-8";
constexpr std::string_view kTextType = "text/plain; charset=utf-8";

// The properties the server answers.
enum class Prop {
  kResourceType,
  kDisplayName,
  kCurrentUserPrincipal,
  kPrincipalUrl,
  kCalendarHomeSet,
  kOwner,
  kPrivileges,
  kSupportedComponents,
  kSupportedReports,
  kCtag,
  kSyncToken,
  kEtag,
  kContentType,
  kContentLength,
  kCalendarData,
};

struct KnownProp {
  std::string_view ns;
  std::string_view name;
  Prop prop;
  bool in_allprop;
};

constexpr KnownProp kKnownProps[] = {
    {kDavNs, "resourcetype", Prop::kResourceType, true},
    {kDavNs, "displayname", Prop::kDisplayName, true},
    {kDavNs, "current-user-principal", Prop::kCurrentUserPrincipal, true},
    {kDavNs, "principal-URL", Prop::kPrincipalUrl, true},
    {kCalDavNs, "calendar-home-set", Prop::kCalendarHomeSet, true},
    {kDavNs, "owner", Prop::kOwner, true},
    {kDavNs, "current-user-privilege-set", Prop::kPrivileges, true},
    {kCalDavNs, "supported-calendar-component-set", Prop::kSupportedComponents, true},
    {kDavNs, "supported-report-set", Prop::kSupportedReports, true},
    {kCalendarServerNs, "getctag", Prop::kCtag, true},
    {kDavNs, "sync-token", Prop::kSyncToken, true},
    {kDavNs, "getetag", Prop::kEtag, true},
    {kDavNs, "getcontenttype", Prop::kContentType, true},
    {kDavNs, "getcontentlength", Prop::kContentLength, false},
    {kCalDavNs, "calendar-data", Prop::kCalendarData, false},
};

std::optional<Prop> Known(const PropName& name) {
  for (const KnownProp& known : kKnownProps) {
    if (known.ns == name.ns && known.name == name.name) return known.prop;
  }
  return std::nullopt;
}

PropName NameOf(Prop prop) {
  for (const KnownProp& known : kKnownProps) {
    if (known.prop == prop) return {std::string(known.ns), std::string(known.name)};
  }
  return {};
}

// One resource being answered.
struct Resource {
  DavPlace place = DavPlace::kRoot;
  std::string href;
  const CalendarInfo* calendar = nullptr;  // kCalendar and kObject
  std::string name;                        // kObject
  std::string etag;                        // kObject
  const std::string* text = nullptr;       // kObject, when fetched
};

// A collection's resource.
Resource Collection(DavPlace place, std::string href, const CalendarInfo* calendar = nullptr) {
  Resource resource;
  resource.place = place;
  resource.href = std::move(href);
  resource.calendar = calendar;
  return resource;
}

// Who asks, and what is known of him or her for the answers.
struct Viewer {
  std::int64_t id = 0;
  CalendarSource& source;
  std::optional<std::string> name;  // the own calendar's name, read when first asked

  const std::string& Name() {
    if (!name) {
      const std::optional<CalendarInfo> own = source.FindCalendar("own", CalendarTags::kLeftOut);
      name = own ? own->display_name : std::string();
    }
    return *name;
  }
};

std::string Href(std::string_view path) { return "<d:href>" + XmlText(path) + "</d:href>"; }

std::string Privilege(std::string_view name) {
  return "<d:privilege><d:" + std::string(name) + "/></d:privilege>";
}

// The value of `prop` on the resource, or nothing where it is not defined.
std::optional<std::string> Value(Prop prop, const Resource& resource, Viewer& viewer) {
  const DavPlace place = resource.place;
  const bool principal = place == DavPlace::kRoot || place == DavPlace::kPrincipal;
  switch (prop) {
    case Prop::kResourceType:
      switch (place) {
        case DavPlace::kRoot:
        case DavPlace::kHome:
          return "<d:collection/>";
        case DavPlace::kPrincipal:
          return "<d:collection/><d:principal/>";
        case DavPlace::kCalendar:
          return "<d:collection/><c:calendar/>";
        case DavPlace::kObject:
          return "";
      }
      return std::nullopt;
    case Prop::kDisplayName:
      if (resource.calendar != nullptr && place == DavPlace::kCalendar) {
        return XmlText(resource.calendar->display_name);
      }
      if (place == DavPlace::kPrincipal || place == DavPlace::kHome) return XmlText(viewer.Name());
      return std::nullopt;
    case Prop::kCurrentUserPrincipal:
      return Href(PrincipalPath(viewer.id));
    case Prop::kPrincipalUrl:
      if (!principal) return std::nullopt;
      return Href(PrincipalPath(viewer.id));
    case Prop::kCalendarHomeSet:
      if (!principal) return std::nullopt;
      return Href(HomePath(viewer.id));
    case Prop::kOwner:
      if (place == DavPlace::kRoot) return std::nullopt;
      return Href(PrincipalPath(resource.calendar != nullptr && place == DavPlace::kCalendar
                                    ? resource.calendar->person_id
                                    : viewer.id));
    case Prop::kPrivileges: {
      const bool writable = resource.calendar != nullptr && resource.calendar->writable;
      std::string set = Privilege("read") + Privilege("read-current-user-privilege-set");
      if (writable) {
        set += Privilege("write") + Privilege("write-content");
        if (place == DavPlace::kCalendar) set += Privilege("bind") + Privilege("unbind");
      }
      return set;
    }
    case Prop::kSupportedComponents:
      if (place != DavPlace::kCalendar) return std::nullopt;
      return "<c:comp name=\"VEVENT\"/>";
    case Prop::kSupportedReports: {
      if (place != DavPlace::kCalendar && place != DavPlace::kHome) return std::nullopt;
      std::string reports;
      for (const std::string_view report :
           {"<c:calendar-query/>", "<c:calendar-multiget/>", "<d:sync-collection/>"}) {
        if (place == DavPlace::kHome && report != "<c:calendar-multiget/>") continue;
        reports += "<d:supported-report><d:report>" + std::string(report) +
                   "</d:report></d:supported-report>";
      }
      return reports;
    }
    case Prop::kCtag:
      if (place != DavPlace::kCalendar) return std::nullopt;
      return XmlText(resource.calendar->ctag);
    case Prop::kSyncToken:
      if (place != DavPlace::kCalendar) return std::nullopt;
      return XmlText(resource.calendar->sync_token);
    case Prop::kEtag:
      if (place != DavPlace::kObject) return std::nullopt;
      return XmlText(resource.etag);
    case Prop::kContentType:
      if (place != DavPlace::kObject) return std::nullopt;
      return "text/calendar; charset=utf-8; component=vevent";
    case Prop::kContentLength:
      if (place != DavPlace::kObject || resource.text == nullptr) return std::nullopt;
      return std::to_string(resource.text->size());
    case Prop::kCalendarData:
      if (place != DavPlace::kObject || resource.text == nullptr) return std::nullopt;
      return XmlText(*resource.text);
  }
  return std::nullopt;
}

// What a PROPFIND or REPORT asks of every resource.
struct Asked {
  PropfindKind kind = PropfindKind::kAllProp;
  std::vector<PropName> props;  // kProp
  // The calendar-data expanded into its instances over this time, in the
  // zone of the plans.
  std::optional<TimeRange> expand;
  const feeds::TimeZone* zone = nullptr;

  // Whether the objects' texts must be read.
  bool NeedsText() const {
    for (const PropName& name : props) {
      const std::optional<Prop> prop = Known(name);
      if (prop == Prop::kCalendarData || prop == Prop::kContentLength) return true;
    }
    return false;
  }
};

ResourceProps Answer(const Resource& stored, const Asked& asked, Viewer& viewer) {
  ResourceProps answer;
  answer.href = stored.href;
  // The object's instances over the time asked, in place of its text.
  std::string expanded;
  Resource resource = stored;
  if (asked.expand && asked.zone != nullptr && stored.text != nullptr) {
    expanded = feeds::ExpandedCalendarText(*stored.text, *asked.zone, *asked.expand->start,
                                        *asked.expand->end);
    resource.text = &expanded;
  }
  switch (asked.kind) {
    case PropfindKind::kAllProp:
      for (const KnownProp& known : kKnownProps) {
        if (!known.in_allprop) continue;
        if (std::optional<std::string> value = Value(known.prop, resource, viewer)) {
          answer.found.push_back({NameOf(known.prop), std::move(*value)});
        }
      }
      break;
    case PropfindKind::kPropName:
      for (const KnownProp& known : kKnownProps) {
        if (Value(known.prop, resource, viewer)) answer.found.push_back({NameOf(known.prop), ""});
      }
      break;
    case PropfindKind::kProp:
      for (const PropName& name : asked.props) {
        const std::optional<Prop> prop = Known(name);
        std::optional<std::string> value =
            prop ? Value(*prop, resource, viewer) : std::optional<std::string>();
        if (value) {
          answer.found.push_back({name, std::move(*value)});
        } else {
          answer.missing.push_back(name);
        }
      }
      break;
  }
  return answer;
}

http::Response Text(int status, std::string text) {
  text += '\n';
  return http::Response(status, kTextType, std::move(text));
}

http::Response Multistatus(std::span<const ResourceProps> resources,
                           const std::optional<std::string>& sync_token = std::nullopt) {
  return http::Response(207, kXmlType, MultistatusBody(resources, sync_token));
}

http::Response Refusal(int status, std::string_view condition, std::string_view message) {
  if (condition.empty()) return Text(status, std::string(message));
  return http::Response(status, kXmlType, ErrorBody(condition, message));
}

// The Depth header of a PROPFIND: 0 or 1, or nothing for infinity (also
// when it is missing, as WebDAV reads that).
std::optional<int> PropfindDepth(const http::Request& request) {
  const std::string_view depth = TrimSpacesAndTabs(request.HeaderValue("Depth"));
  if (depth == "0") return 0;
  if (depth == "1") return 1;
  return std::nullopt;
}

WriteConditions Conditions(const http::Request& request) {
  WriteConditions conditions;
  const std::string_view match = TrimSpacesAndTabs(request.HeaderValue("If-Match"));
  // A client may hold the tag of a compressed GET ("abc-zstd"): it names
  // the same version of the object.
  if (match.size() > 2 && match.front() == '"' && match.back() == '"') {
    conditions.if_match = "\"" + std::string(http::UncodedOpaqueTag(match.substr(1, match.size() - 2))) + "\"";
  } else if (!match.empty()) {
    conditions.if_match = std::string(match);
  }
  conditions.if_none_match_any = TrimSpacesAndTabs(request.HeaderValue("If-None-Match")) == "*";
  return conditions;
}

// The days of the plans' zone that a time-range touches (its end is
// exclusive), within the calendar.
std::pair<DateTime, DateTime> RangeDays(const TimeRange& range, const feeds::TimeZone& zone) {
  DateTime first = DateTime::Earliest();
  DateTime last = DateTime::Latest();
  try {
    if (range.start) first = zone.FromUtc(*range.start).DateOnly();
  } catch (const Error&) {
    // At the calendar's first day: the range starts with it.
  }
  try {
    if (range.end) {
      const DateTime end = zone.FromUtc(*range.end);
      last = end.seconds() == 0 ? end.AddDays(-1) : end.DateOnly();
    }
  } catch (const Error&) {
    // At the calendar's last day.
  }
  if (last < first) last = first;
  return {first, last};
}

// One request after sign-in: the viewer's calendars, the path, the answer.
class Exchange {
 public:
  Exchange(const http::Request& request, Viewer& viewer, const feeds::TimeZone& zone,
           Language language)
      : request_(request), viewer_(viewer), zone_(zone), language_(language) {}

  http::Response Run(const DavPath& path);

 private:
  http::Response Propfind(const DavPath& path);
  http::Response Report(const DavPath& path);
  http::Response Get(const DavPath& path);
  http::Response Put(const DavPath& path);
  http::Response Delete(const DavPath& path);
  http::Response PropPatch(const DavPath& path);

  // The calendar of the path; throws Error kNotFound when the viewer has none so named.
  const CalendarInfo& Calendar(std::string_view segment,
                               CalendarTags tags = CalendarTags::kLeftOut);
  http::Response NotFound() const {
    return Text(404, std::string(web::Text(language_, MessageId::kDavNotFound)));
  }
  http::Response Fixed() const {
    return Text(403, std::string(web::Text(language_, MessageId::kDavTreeFixed)));
  }
  std::string CalendarHref(const CalendarInfo& calendar) const {
    return CalendarPath(viewer_.id, calendar.segment);
  }
  // The resources of the calendar's objects (their texts read when asked).
  void AddObjects(const CalendarInfo& calendar, const std::vector<ObjectTag>& tags,
                  const Asked& asked, std::vector<ResourceProps>& out,
                  std::vector<std::string>* removed = nullptr);

  const http::Request& request_;
  Viewer& viewer_;
  const feeds::TimeZone& zone_;
  Language language_;
  // The calendars looked up, by segment; their addresses stay put.
  struct Looked {
    CalendarInfo info;
    bool tagged = false;  // its ctag and sync token are filled in
  };
  std::map<std::string, Looked, std::less<>> calendars_;
};

const CalendarInfo& Exchange::Calendar(std::string_view segment, CalendarTags tags) {
  if (const auto found = calendars_.find(segment);
      found != calendars_.end() && (tags == CalendarTags::kLeftOut || found->second.tagged)) {
    return found->second.info;
  }
  std::optional<CalendarInfo> calendar = viewer_.source.FindCalendar(segment, tags);
  if (!calendar) throw Error("no calendar '" + std::string(segment) + "'", ErrorKind::kNotFound);
  return calendars_
      .insert_or_assign(std::string(segment),
                        Looked{std::move(*calendar), tags == CalendarTags::kFilled})
      .first->second.info;
}

void Exchange::AddObjects(const CalendarInfo& calendar, const std::vector<ObjectTag>& tags,
                          const Asked& asked, std::vector<ResourceProps>& out,
                          std::vector<std::string>* removed) {
  std::vector<CalendarObject> objects;
  if (asked.NeedsText() && !tags.empty()) {
    std::vector<std::string> names;
    names.reserve(tags.size());
    for (const ObjectTag& tag : tags) names.push_back(tag.name);
    objects = viewer_.source.Fetch(calendar, names);
  }
  std::map<std::string_view, const CalendarObject*> by_name;
  for (const CalendarObject& object : objects) by_name.emplace(object.name, &object);
  for (const ObjectTag& tag : tags) {
    Resource resource{DavPlace::kObject, ObjectPath(viewer_.id, calendar.segment, tag.name),
                      &calendar,         tag.name,
                      tag.etag,          nullptr};
    if (asked.NeedsText()) {
      const auto found = by_name.find(tag.name);
      if (found == by_name.end()) {
        // Gone between the listing and the read.
        if (removed != nullptr) removed->push_back(tag.name);
        continue;
      }
      resource.etag = found->second->etag;
      resource.text = &found->second->text;
    }
    out.push_back(Answer(resource, asked, viewer_));
  }
}

http::Response Exchange::Run(const DavPath& path) {
  const std::string& method = request_.method;
  if (method == "PROPFIND") return Propfind(path);
  if (method == "REPORT") return Report(path);
  if (method == "GET" || method == "HEAD") return Get(path);
  if (method == "PUT") return Put(path);
  if (method == "DELETE") return Delete(path);
  if (method == "PROPPATCH") return PropPatch(path);
  if (method == "MKCALENDAR" || method == "MKCOL" || method == "MOVE" || method == "COPY") {
    return Fixed();
  }
  http::Response response =
      Text(405, Format(language_, MessageId::kDavMethodNotAnswered, {method}));
  response.AddHeader("Allow", kDavMethods);
  return response;
}

http::Response Exchange::Propfind(const DavPath& path) {
  const std::optional<int> depth = PropfindDepth(request_);
  if (!depth) {
    return Refusal(403, "propfind-finite-depth",
                   web::Text(language_, MessageId::kDavDepthInfinity));
  }
  const PropfindRequest body = ReadPropfind(request_.body);
  const Asked asked{body.kind, body.props, std::nullopt, nullptr};
  std::vector<ResourceProps> answers;
  switch (path.place) {
    case DavPlace::kRoot:
      answers.push_back(
          Answer(Collection(DavPlace::kRoot, std::string(kDavFolder)), asked, viewer_));
      if (*depth == 1) {
        answers.push_back(
            Answer(Collection(DavPlace::kPrincipal, PrincipalPath(viewer_.id)), asked, viewer_));
        answers.push_back(
            Answer(Collection(DavPlace::kHome, HomePath(viewer_.id)), asked, viewer_));
      }
      break;
    case DavPlace::kPrincipal:
      answers.push_back(
          Answer(Collection(DavPlace::kPrincipal, PrincipalPath(viewer_.id)), asked, viewer_));
      break;
    case DavPlace::kHome: {
      answers.push_back(Answer(Collection(DavPlace::kHome, HomePath(viewer_.id)), asked, viewer_));
      if (*depth == 0) break;
      for (CalendarInfo& calendar : viewer_.source.Calendars()) {
        const std::string segment = calendar.segment;
        calendars_.insert_or_assign(segment, Looked{std::move(calendar), true});
        const CalendarInfo& kept = calendars_.at(segment).info;
        answers.push_back(
            Answer(Collection(DavPlace::kCalendar, CalendarHref(kept), &kept), asked, viewer_));
      }
      break;
    }
    case DavPlace::kCalendar: {
      const CalendarInfo& calendar = Calendar(path.segment, CalendarTags::kFilled);
      answers.push_back(Answer(Collection(DavPlace::kCalendar, CalendarHref(calendar), &calendar),
                               asked, viewer_));
      if (*depth == 1)
        AddObjects(calendar, viewer_.source.Objects(calendar, std::nullopt), asked, answers);
      break;
    }
    case DavPlace::kObject: {
      const CalendarInfo& calendar = Calendar(path.segment);
      const std::string names[] = {path.name};
      const std::vector<CalendarObject> objects = viewer_.source.Fetch(calendar, names);
      if (objects.empty()) return NotFound();
      const Resource resource{DavPlace::kObject,
                              ObjectPath(viewer_.id, calendar.segment, path.name),
                              &calendar,
                              path.name,
                              objects.front().etag,
                              &objects.front().text};
      answers.push_back(Answer(resource, asked, viewer_));
      break;
    }
  }
  return Multistatus(answers);
}

http::Response Exchange::Report(const DavPath& path) {
  ReportRequest report;
  try {
    report = ReadReport(request_.body);
  } catch (const ReportUnsupported& e) {
    return Refusal(403, "supported-report", e.what());
  }
  Asked asked{report.all_props ? PropfindKind::kAllProp : PropfindKind::kProp, report.props,
              report.expand, &zone_};
  if (!report.all_props && report.props.empty()) asked.props = {NameOf(Prop::kEtag)};
  std::vector<ResourceProps> answers;

  if (report.kind == ReportKind::kMultiget) {
    if (path.place != DavPlace::kCalendar && path.place != DavPlace::kHome) {
      return Refusal(403, "supported-report", "calendar-multiget is answered on a calendar");
    }
    // The hrefs by calendar, each calendar read once.
    std::map<std::string, std::vector<std::string>> asked_names;
    std::vector<std::optional<DavPath>> places;
    for (const std::string& href : report.hrefs) {
      std::optional<DavPath> place = ReadDavPath(href);
      if (place && (place->place != DavPlace::kObject || place->person_id != viewer_.id ||
                    (path.place == DavPlace::kCalendar && place->segment != path.segment))) {
        place.reset();
      }
      if (place) asked_names[place->segment].push_back(place->name);
      places.push_back(std::move(place));
    }
    std::map<std::pair<std::string, std::string>, CalendarObject> fetched;
    for (const auto& [segment, names] : asked_names) {
      const std::optional<CalendarInfo> calendar =
          viewer_.source.FindCalendar(segment, CalendarTags::kLeftOut);
      if (!calendar) continue;
      calendars_.insert_or_assign(segment, Looked{*calendar, false});
      for (CalendarObject& object : viewer_.source.Fetch(*calendar, names)) {
        std::string name = object.name;
        fetched.insert_or_assign({segment, std::move(name)}, std::move(object));
      }
    }
    for (std::size_t i = 0; i < report.hrefs.size(); ++i) {
      const std::optional<DavPath>& place = places[i];
      const auto found = place ? fetched.find({place->segment, place->name}) : fetched.end();
      if (found == fetched.end()) {
        ResourceProps missing;
        missing.href = place ? ObjectPath(viewer_.id, place->segment, place->name)
                             : http::PercentEncode(report.hrefs[i]);
        missing.status = 404;
        answers.push_back(std::move(missing));
        continue;
      }
      const Resource resource{DavPlace::kObject,
                              ObjectPath(viewer_.id, place->segment, place->name),
                              &calendars_.at(place->segment).info,
                              place->name,
                              found->second.etag,
                              &found->second.text};
      answers.push_back(Answer(resource, asked, viewer_));
    }
    return Multistatus(answers);
  }

  if (path.place != DavPlace::kCalendar) {
    return Refusal(403, "supported-report", "the report is answered on a calendar");
  }
  const CalendarInfo& calendar = Calendar(path.segment);
  if (report.kind == ReportKind::kCalendarQuery) {
    if (report.events) {
      std::optional<std::pair<DateTime, DateTime>> days;
      if (report.range) days = RangeDays(*report.range, zone_);
      AddObjects(calendar, viewer_.source.Objects(calendar, days), asked, answers);
    }
    return Multistatus(answers);
  }

  // sync-collection
  const ObjectChanges changes = viewer_.source.ChangesSince(calendar, report.sync_token);
  if (report.limit && changes.changed.size() + changes.removed.size() > *report.limit) {
    return Refusal(507, "number-of-matches-within-limits",
                   "more than " + std::to_string(*report.limit) + " changes: sync without a limit");
  }
  std::vector<std::string> removed = changes.removed;
  AddObjects(calendar, changes.changed, asked, answers, &removed);
  for (const std::string& name : removed) {
    ResourceProps gone;
    gone.href = ObjectPath(viewer_.id, calendar.segment, name);
    gone.status = 404;
    answers.push_back(std::move(gone));
  }
  return Multistatus(answers, changes.sync_token);
}

http::Response Exchange::Get(const DavPath& path) {
  if (path.place != DavPlace::kObject) {
    http::Response response =
        Text(405, Format(language_, MessageId::kDavMethodNotAnswered, {request_.method}));
    response.AddHeader("Allow", "OPTIONS, PROPFIND, REPORT");
    return response;
  }
  const CalendarInfo& calendar = Calendar(path.segment);
  const std::string names[] = {path.name};
  std::vector<CalendarObject> objects = viewer_.source.Fetch(calendar, names);
  if (objects.empty()) return NotFound();
  CalendarObject& object = objects.front();
  http::Response response;
  if (http::NoneMatchHolds(request_.HeaderValue("If-None-Match"), object.etag)) {
    response.status = 304;
  } else {
    response = http::Response(200, kCalendarType, std::move(object.text));
  }
  response.AddHeader("ETag", object.etag);
  response.AddHeader("Cache-Control", "private, no-cache");
  return response;
}

http::Response Exchange::Put(const DavPath& path) {
  if (path.place != DavPlace::kObject) return Fixed();
  const std::string_view type = TrimSpacesAndTabs(request_.HeaderValue("Content-Type"));
  const std::string_view media = TrimSpacesAndTabs(type.substr(0, type.find(';')));
  if (!media.empty() && !EqualsNoCase(media, "text/calendar")) {
    return Refusal(403, "supported-calendar-data",
                   Format(language_, MessageId::kDavNotCalendarData, {media}));
  }
  const CalendarInfo& calendar = Calendar(path.segment);
  if (!calendar.writable) {
    return Refusal(403, "", web::Text(language_, MessageId::kDavOnlyEvents));
  }
  const ObjectWrite written =
      viewer_.source.Put(calendar, path.name, request_.body, Conditions(request_));
  http::Response response;
  response.status = written.created ? 201 : 204;
  // A client may keep what it sent under the tag only when the stored text
  // is that very text; otherwise it reads the object again.
  const std::string names[] = {path.name};
  const std::vector<CalendarObject> stored = viewer_.source.Fetch(calendar, names);
  if (!stored.empty() && stored.front().text == request_.body) {
    response.AddHeader("ETag", written.etag);
  }
  return response;
}

http::Response Exchange::Delete(const DavPath& path) {
  if (path.place != DavPlace::kObject) return Fixed();
  const CalendarInfo& calendar = Calendar(path.segment);
  if (!calendar.writable) {
    return Refusal(403, "", web::Text(language_, MessageId::kDavOnlyEvents));
  }
  viewer_.source.Remove(calendar, path.name, Conditions(request_));
  http::Response response;
  response.status = 204;
  return response;
}

http::Response Exchange::PropPatch(const DavPath& path) {
  std::string href = std::string(kDavFolder);
  switch (path.place) {
    case DavPlace::kRoot:
      break;
    case DavPlace::kPrincipal:
      href = PrincipalPath(viewer_.id);
      break;
    case DavPlace::kHome:
      href = HomePath(viewer_.id);
      break;
    case DavPlace::kCalendar:
      href = CalendarHref(Calendar(path.segment));
      break;
    case DavPlace::kObject:
      return Fixed();
  }
  ResourceProps answer;
  answer.href = href;
  answer.forbidden = ReadPropPatch(request_.body);
  return Multistatus(std::span<const ResourceProps>(&answer, 1));
}

// The answer to an Error thrown while answering: the refusals of the
// protocol and of the request's values as clients read them, failures as
// the site answers them.
http::Response ErrorResponse(std::exception_ptr error, Language language) {
  try {
    std::rethrow_exception(error);
  } catch (const feeds::ConditionError& e) {
    return Refusal(e.status(), e.condition(), e.what());
  } catch (const Error& e) {
    switch (e.kind()) {
      case ErrorKind::kBadInput:
        return Text(400, e.what());
      case ErrorKind::kNotFound:
        return Text(404, std::string(web::Text(language, MessageId::kDavNotFound)));
      case ErrorKind::kForbidden:
        return Text(403, e.what());
      case ErrorKind::kConflict:
        return Text(409, e.what());
      default:
        break;
    }
  } catch (...) {
  }
  return ErrorAnswer(error, language, nullptr);
}

}  // namespace

DavServer::DavServer(DavAuthenticator authenticate, CalendarAccess calendars,
                     const feeds::TimeZone& zone)
    : authenticate_(std::move(authenticate)), calendars_(std::move(calendars)), zone_(zone) {}

http::Response DavServer::Serve(const http::Request& request) const {
  const Language language = RequestLanguage(request);
  if (request.method == "OPTIONS") {
    http::Response response;
    response.status = 200;
    response.AddHeader("DAV", "1, 3, calendar-access");
    response.AddHeader("Allow", kDavMethods);
    return response;
  }
  std::optional<std::int64_t> person;
  http::Response response;
  try {
    const DavSignIn signed_in = authenticate_(request);
    switch (signed_in.status) {
      case DavSignIn::Status::kSignedIn:
        person = signed_in.person_id;
        break;
      case DavSignIn::Status::kRefused:
        response = Text(401, std::string(web::Text(language, MessageId::kDavSignInAsked)));
        response.AddHeader("WWW-Authenticate", "Basic realm=\"ostrand\", charset=\"UTF-8\"");
        return response;
      case DavSignIn::Status::kThrottled:
        response = Text(429, Format(language, MessageId::kSignInThrottled,
                                    {std::to_string(signed_in.retry_after.count())}));
        response.AddHeader("Retry-After", std::to_string(std::max<std::int64_t>(
                                              1, signed_in.retry_after.count())));
        return response;
    }
    const std::optional<DavPath> path = ReadDavPath(request.path);
    if (!path) {
      response = Text(404, std::string(web::Text(language, MessageId::kDavNotFound)));
    } else if (path->place != DavPlace::kRoot && path->person_id != *person) {
      response = Text(403, std::string(web::Text(language, MessageId::kDavNotYours)));
    } else {
      calendars_(*person, request, [&](CalendarSource& source) {
        Viewer viewer{*person, source, std::nullopt};
        Exchange exchange(request, viewer, zone_, language);
        try {
          response = exchange.Run(*path);
        } catch (...) {
          response = ErrorResponse(std::current_exception(), language);
        }
      });
    }
  } catch (...) {
    response = ErrorResponse(std::current_exception(), language);
  }
  response.person = person;
  return response;
}

http::Response DavServer::WellKnown(const http::Request& request) {
  const std::string& method = request.method;
  if (method == "GET" || method == "HEAD" || method == "PROPFIND") {
    http::Response response;
    response.status = 301;
    response.AddHeader("Location", kDavFolder);
    return response;
  }
  http::Response response =
      Text(405, std::string(web::Text(RequestLanguage(request), MessageId::kMethodNotAllowed)));
  response.AddHeader("Allow", "GET, HEAD, PROPFIND");
  return response;
}

}  // namespace ostrand::web::dav
