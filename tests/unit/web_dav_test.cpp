// The CalDAV server: its XML readers on bodies of real clients and hostile
// ones, the bodies it writes, and the handler over a calendar source of the
// test's own (discovery, Depth, reports, conditional writes, refusals).
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <map>
#include <string>

#include "core/error.h"
#include "web/dav/dav_request.h"
#include "web/dav/dav_response.h"
#include "web/dav/dav_server.h"

namespace ostrand::web::dav {
namespace {

// --- readers -------------------------------------------------------------

TEST(DavRequest, ReadsTheBodiesClientsSend) {
  const PropfindRequest discovery = ReadPropfind(
      R"(<?xml version="1.0"?><propfind xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav">
         <prop><current-user-principal/><C:calendar-home-set/><resourcetype/><resourcetype/></prop>
         </propfind>)");
  ASSERT_EQ(discovery.kind, PropfindKind::kProp);
  ASSERT_EQ(discovery.props.size(), 3u);  // the repeated name once
  EXPECT_EQ(discovery.props[1], (PropName{std::string(kCalDavNs), "calendar-home-set"}));
  EXPECT_EQ(ReadPropfind("  ").kind, PropfindKind::kAllProp);
  EXPECT_EQ(ReadPropfind("<d:propfind xmlns:d='DAV:'><d:propname/></d:propfind>").kind,
            PropfindKind::kPropName);

  const ReportRequest query = ReadReport(
      R"(<c:calendar-query xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav">
         <d:prop><d:getetag/><c:calendar-data/></d:prop>
         <c:filter><c:comp-filter name="VCALENDAR"><c:comp-filter name="VEVENT">
         <c:time-range start="20261201T000000Z" end="20270101T000000Z"/>
         </c:comp-filter></c:comp-filter></c:filter></c:calendar-query>)");
  EXPECT_EQ(query.kind, ReportKind::kCalendarQuery);
  EXPECT_EQ(query.props.size(), 2u);
  ASSERT_TRUE(query.range && query.range->start && query.range->end);
  EXPECT_EQ(*query.range->start, DateTime::FromCivil(2026, 12, 1));
  EXPECT_EQ(*query.range->end, DateTime::FromCivil(2027, 1, 1));
  EXPECT_TRUE(query.events);
  EXPECT_FALSE(ReadReport(R"(<c:calendar-query xmlns:c="urn:ietf:params:xml:ns:caldav"><c:filter>
      <c:comp-filter name="VCALENDAR"><c:comp-filter name="VTODO"/></c:comp-filter>
      </c:filter></c:calendar-query>)")
                   .events);

  const ReportRequest multiget = ReadReport(
      R"(<C:calendar-multiget xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:caldav">
         <D:prop><D:getetag/></D:prop>
         <D:href>/dav/calendars/3/own/a%20b.ics</D:href>
         <D:href>https://plans.example.org/dav/calendars/3/own/c.ics?x=1</D:href>
         </C:calendar-multiget>)");
  EXPECT_EQ(multiget.kind, ReportKind::kMultiget);
  EXPECT_EQ(multiget.hrefs, (std::vector<std::string>{"/dav/calendars/3/own/a b.ics",
                                                      "/dav/calendars/3/own/c.ics"}));

  const ReportRequest sync = ReadReport(
      R"(<sync-collection xmlns="DAV:"><sync-token>urn:x:sync:5</sync-token>
         <sync-level>1</sync-level><limit><nresults>50</nresults></limit>
         <prop><getetag/></prop></sync-collection>)");
  EXPECT_EQ(sync.kind, ReportKind::kSyncCollection);
  EXPECT_EQ(sync.sync_token, "urn:x:sync:5");
  EXPECT_EQ(sync.limit, std::optional<std::size_t>(50));

  EXPECT_EQ(ReadPropPatch(R"(<d:propertyupdate xmlns:d="DAV:" xmlns:i="http://apple.com/ns/ical/">
      <d:set><d:prop><i:calendar-color>#FF0000</i:calendar-color></d:prop></d:set>
      <d:remove><d:prop><d:displayname/></d:prop></d:remove></d:propertyupdate>)")
                .size(),
            2u);
}

TEST(DavRequest, RefusesHostileAndBrokenBodiesWithoutExpandingAnything) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  std::string many = "<propfind xmlns='DAV:'><prop>";
  for (std::size_t i = 0; i <= kMaxProps; ++i) many += "<p" + std::to_string(i) + "/>";
  many += "</prop></propfind>";
  std::string attributes = "<propfind xmlns='DAV:'";
  for (int i = 0; i < 20000; ++i) attributes += " a" + std::to_string(i) + "='x'";
  attributes += "><allprop/>";  // left unclosed: it must fail, not loop
  const std::string bodies[] = {
      R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;&lol;">]>
         <propfind xmlns="DAV:"><prop><displayname>&lol2;</displayname></prop></propfind>)",
      R"(<!DOCTYPE p [<!ENTITY x SYSTEM "file:///etc/passwd">]><propfind xmlns="DAV:">&x;</propfind>)",
      R"(<!DOCTYPE propfind SYSTEM "http://127.0.0.1:1/evil.dtd"><propfind xmlns="DAV:"/>)",
      "<propfind xmlns='DAV:'>&undeclared;<allprop/></propfind>",
      deep,
      many,
      attributes,
      "<propfind xmlns='DAV:'><allprop></propfind>",
      "<propfind><allprop/></propfind>",  // no DAV: namespace
      "<d:propfind xmlns:d='DAV:'/>",     // names nothing
      "<d:propfind xmlns:d='DAV:'><d:prop><q:x/></d:prop></d:propfind>",  // undeclared prefix
      "\xEF\xBB\xBF<propfind xmlns='DAV:'><prop><\xFF/></prop></propfind>",
  };
  for (const std::string& body : bodies) {
    try {
      ReadPropfind(body);
      ADD_FAILURE() << "read: " << body.substr(0, 80);
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kBadInput) << body.substr(0, 80);
    }
  }
  const std::string reports[] = {
      "",
      R"(<c:calendar-query xmlns:c="urn:ietf:params:xml:ns:caldav"><c:filter>
         <c:comp-filter name="VCALENDAR"><c:comp-filter name="VEVENT">
         <c:time-range start="2026-12-01"/></c:comp-filter></c:comp-filter></c:filter>
         </c:calendar-query>)",
      R"(<c:calendar-query xmlns:c="urn:ietf:params:xml:ns:caldav"><c:filter>
         <c:comp-filter name="VCALENDAR"><c:comp-filter name="VEVENT">
         <c:time-range start="20261301T000000Z"/></c:comp-filter></c:comp-filter></c:filter>
         </c:calendar-query>)",
      "<sync-collection xmlns='DAV:'><sync-token/><limit><nresults>-1</nresults></limit>"
      "</sync-collection>",
      "<sync-collection xmlns='DAV:'><sync-level>2</sync-level></sync-collection>",
      R"(<c:calendar-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:prop>
         <c:calendar-data><c:expand start="20261201T000000Z"/></c:calendar-data></d:prop>
         </c:calendar-multiget>)",
      R"(<c:calendar-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav"><d:prop>
         <c:calendar-data><c:expand start="20261201T000000Z" end="20261101T000000Z"/>
         </c:calendar-data></d:prop></c:calendar-multiget>)",
  };
  for (const std::string& body : reports) {
    EXPECT_THROW(ReadReport(body), Error) << body;
  }
  EXPECT_THROW(ReadReport("<expand-property xmlns='DAV:'/>"), ReportUnsupported);
}

// --- writer --------------------------------------------------------------

TEST(DavResponse, BodiesAreWellFormedAndKeepTheCalendarText) {
  const std::string calendar =
      "BEGIN:VCALENDAR\r\nSUMMARY:a & <b> \"c\"\x01\xFF\r\nEND:VCALENDAR\r\n";
  ResourceProps object;
  object.href = "/dav/calendars/3/own/a%20b.ics";
  object.found = {{{std::string(kCalDavNs), "calendar-data"}, XmlText(calendar)},
                  {{"urn:other", "thing"}, "x"}};
  object.missing = {{"", "bare"}};
  ResourceProps gone;
  gone.href = "/dav/calendars/3/own/gone.ics";
  gone.status = 404;
  const ResourceProps both[] = {object, gone};
  const std::string body = MultistatusBody(both, std::string("urn:x:sync:7"));

  const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlReadMemory(body.data(), static_cast<int>(body.size()), nullptr, nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeDoc);
  ASSERT_TRUE(doc) << body;
  // The calendar text reads back with its CRLF; what XML cannot carry is replaced.
  const std::unique_ptr<xmlChar, decltype(xmlFree)> content(
      xmlNodeGetContent(xmlDocGetRootElement(doc.get())), xmlFree);
  const std::string text(reinterpret_cast<const char*>(content.get()));
  EXPECT_NE(text.find("BEGIN:VCALENDAR\r\nSUMMARY:a & <b> \"c\"\xEF\xBF\xBD\xEF\xBF\xBD\r\n"),
            std::string::npos);
  EXPECT_NE(body.find("<d:status>HTTP/1.1 404 Not Found</d:status>"), std::string::npos);
  EXPECT_NE(body.find("<d:sync-token>urn:x:sync:7</d:sync-token>"), std::string::npos);

  EXPECT_NE(ErrorBody("valid-sync-token", "").find("<d:valid-sync-token/>"), std::string::npos);
  const std::string instances = ErrorBody("max-instances", "over 500 <plans>");
  EXPECT_NE(instances.find("<c:max-instances/>"), std::string::npos);
  EXPECT_NE(instances.find("over 500 &lt;plans&gt;"), std::string::npos);
}

// --- handler -------------------------------------------------------------

constexpr std::int64_t kViewer = 3;

// The viewer's own calendar and a colleague's, in memory.
class FakeCalendars final : public CalendarSource {
 public:
  FakeCalendars() {
    own_.kind = CalendarKind::kOwn;
    own_.person_id = kViewer;
    own_.segment = "own";
    own_.display_name = "Ann";
    own_.writable = true;
    own_.ctag = "c1";
    own_.sync_token = "urn:x:sync:2";
    colleague_ = own_;
    colleague_.kind = CalendarKind::kColleague;
    colleague_.person_id = 7;
    colleague_.segment = "person-7";
    colleague_.display_name = "Bo";
    colleague_.writable = false;
    objects_["plan-1.ics"] = {"\"e1\"", "BEGIN:VCALENDAR\r\nUID:1\r\nEND:VCALENDAR\r\n"};
    objects_["daily.ics"] = {
        "\"e2\"",
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\nUID:d@t\r\n"
        "DTSTAMP:20261201T000000Z\r\nDTSTART:20261201T090000Z\r\nDTEND:20261201T100000Z\r\n"
        "RRULE:FREQ=DAILY;COUNT=5\r\nSUMMARY:Shift\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"};
  }

  std::vector<CalendarInfo> Calendars() override { return {own_, colleague_}; }
  std::optional<CalendarInfo> FindCalendar(std::string_view segment, CalendarTags) override {
    if (segment == own_.segment) return own_;
    if (segment == colleague_.segment) return colleague_;
    return std::nullopt;
  }
  std::vector<ObjectTag> Objects(const CalendarInfo& calendar,
                                 std::optional<std::pair<DateTime, DateTime>> days) override {
    asked_days = days;
    std::vector<ObjectTag> tags;
    if (calendar.writable) {
      for (const auto& [name, object] : objects_) tags.push_back({name, object.first});
    }
    return tags;
  }
  std::vector<CalendarObject> Fetch(const CalendarInfo& calendar,
                                    std::span<const std::string> names) override {
    std::vector<CalendarObject> found;
    for (const std::string& name : names) {
      const auto object = objects_.find(name);
      if (calendar.writable && object != objects_.end()) {
        found.push_back({name, object->second.first, object->second.second});
      }
    }
    return found;
  }
  ObjectChanges ChangesSince(const CalendarInfo&, std::string_view token) override {
    if (token == "bad") throw feeds::ConditionError("unknown token", 403, "valid-sync-token");
    return {{{"plan-1.ics", "\"e1\""}}, {"gone.ics"}, "urn:x:sync:3"};
  }
  ObjectWrite Put(const CalendarInfo& calendar, std::string_view name, std::string_view text,
                  const WriteConditions& conditions) override {
    if (!calendar.writable) throw feeds::ConditionError("read-only", 403, "");
    if (text.find("UID:taken") != std::string_view::npos) {
      throw feeds::ConditionError("the UID is another event's", 409, "no-uid-conflict");
    }
    const auto existing = objects_.find(std::string(name));
    if ((conditions.if_none_match_any && existing != objects_.end()) ||
        (conditions.if_match &&
         (existing == objects_.end() ||
          (*conditions.if_match != "*" && *conditions.if_match != existing->second.first)))) {
      throw feeds::ConditionError("changed meanwhile", 412, "");
    }
    const std::string etag = "\"e" + std::to_string(++writes_ + 1) + "\"";
    // A text with a DTSTAMP is stored as given, others rewritten.
    objects_[std::string(name)] = {etag, text.find("DTSTAMP") != std::string_view::npos
                                             ? std::string(text)
                                             : std::string(text) + "X-REWRITTEN:1\r\n"};
    return {etag, existing == objects_.end()};
  }
  void Remove(const CalendarInfo&, std::string_view name, const WriteConditions&) override {
    if (objects_.erase(std::string(name)) == 0) throw Error("no such object", ErrorKind::kNotFound);
  }

  std::optional<std::pair<DateTime, DateTime>> asked_days;

 private:
  CalendarInfo own_;
  CalendarInfo colleague_;
  std::map<std::string, std::pair<std::string, std::string>> objects_;
  int writes_ = 0;
};

class DavServerTest : public ::testing::Test {
 protected:
  http::Response Send(std::string method, std::string path, std::string body = {},
                      std::vector<http::Header> headers = {{"Depth", "0"}}) {
    http::Request request;
    request.method = std::move(method);
    request.path = path;
    request.target = std::move(path);
    request.body = std::move(body);
    request.headers = std::move(headers);
    request.headers.push_back({"Authorization", signed_in ? "ok" : ""});
    return server.Serve(request);
  }
  static std::string Body(const http::Response& response) { return std::string(response.body()); }
  static std::string HeaderOf(const http::Response& response, std::string_view name) {
    for (const http::Header& header : response.headers) {
      if (header.name == name) return header.value;
    }
    return {};
  }

  bool signed_in = true;
  bool throttled = false;
  FakeCalendars calendars;
  feeds::TimeZone zone = feeds::TimeZone::Named("UTC");
  DavServer server{[this](const http::Request& request) {
                     if (throttled)
                       return DavSignIn{DavSignIn::Status::kThrottled, 0, std::chrono::seconds(30)};
                     return request.HeaderValue("Authorization") == "ok"
                                ? DavSignIn{DavSignIn::Status::kSignedIn, kViewer, {}}
                                : DavSignIn{};
                   },
                   [this](std::int64_t viewer, const http::Request&,
                          const std::function<void(CalendarSource&)>& use) {
                     EXPECT_EQ(viewer, kViewer);
                     use(calendars);
                   },
                   zone};
};

TEST_F(DavServerTest, DiscoveryLeadsFromTheRootToTheCalendars) {
  const std::string ask =
      R"(<propfind xmlns="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav" xmlns:cs="http://calendarserver.org/ns/">
         <prop><current-user-principal/><c:calendar-home-set/><resourcetype/><displayname/>
         <cs:getctag/><current-user-privilege-set/><x:unknown xmlns:x="urn:x"/></prop></propfind>)";
  const http::Response root = Send("PROPFIND", "/dav/", ask);
  EXPECT_EQ(root.status, 207);
  EXPECT_NE(Body(root).find("<d:current-user-principal><d:href>/dav/principals/3/</d:href>"),
            std::string::npos);
  const http::Response principal = Send("PROPFIND", "/dav/principals/3/", ask);
  EXPECT_NE(Body(principal).find("<c:calendar-home-set><d:href>/dav/calendars/3/</d:href>"),
            std::string::npos);
  EXPECT_NE(Body(principal).find("<d:displayname>Ann</d:displayname>"), std::string::npos);

  const http::Response home = Send("PROPFIND", "/dav/calendars/3", ask, {{"Depth", "1"}});
  const std::string listing = Body(home);
  EXPECT_EQ(home.status, 207);
  EXPECT_NE(listing.find("<d:href>/dav/calendars/3/own/</d:href>"), std::string::npos);
  EXPECT_NE(listing.find("<d:href>/dav/calendars/3/person-7/</d:href>"), std::string::npos);
  EXPECT_NE(listing.find("<d:resourcetype><d:collection/><c:calendar/></d:resourcetype>"),
            std::string::npos);
  EXPECT_NE(listing.find("<cs:getctag>c1</cs:getctag>"), std::string::npos);
  EXPECT_NE(listing.find("<d:privilege><d:write-content/></d:privilege>"), std::string::npos);
  EXPECT_NE(listing.find("<x:unknown xmlns:x=\"urn:x\"/></d:prop><d:status>HTTP/1.1 404"),
            std::string::npos);

  const http::Response calendar = Send("PROPFIND", "/dav/calendars/3/own/", "", {{"Depth", "1"}});
  EXPECT_NE(Body(calendar).find("<d:href>/dav/calendars/3/own/plan-1.ics</d:href>"),
            std::string::npos);
  EXPECT_NE(Body(calendar).find("<d:getetag>&quot;e1&quot;</d:getetag>"), std::string::npos);

  for (const std::vector<http::Header>& depth :
       {std::vector<http::Header>{{"Depth", "infinity"}}, std::vector<http::Header>{}}) {
    const http::Response infinite = Send("PROPFIND", "/dav/calendars/3/", "", depth);
    EXPECT_EQ(infinite.status, 403);
    EXPECT_NE(Body(infinite).find("<d:propfind-finite-depth/>"), std::string::npos);
  }
  const http::Response options = Send("OPTIONS", "/dav/calendars/3/own/");
  EXPECT_EQ(HeaderOf(options, "DAV"), "1, 3, calendar-access");
  EXPECT_NE(HeaderOf(options, "Allow").find("REPORT"), std::string::npos);

  http::Request well_known;
  well_known.method = "PROPFIND";
  const http::Response moved = DavServer::WellKnown(well_known);
  EXPECT_EQ(moved.status, 301);
  EXPECT_EQ(HeaderOf(moved, "Location"), "/dav/");
}

TEST_F(DavServerTest, SignInAndOwnershipAreChecked) {
  signed_in = false;
  const http::Response anonymous = Send("PROPFIND", "/dav/");
  EXPECT_EQ(anonymous.status, 401);
  EXPECT_EQ(HeaderOf(anonymous, "WWW-Authenticate"), "Basic realm=\"ostrand\", charset=\"UTF-8\"");
  EXPECT_EQ(Send("GET", "/dav/calendars/3/own/plan-1.ics").status, 401);
  EXPECT_EQ(Send("OPTIONS", "/dav/").status, 200);  // tells nothing of anybody
  signed_in = true;
  throttled = true;
  const http::Response held = Send("PROPFIND", "/dav/");
  EXPECT_EQ(held.status, 429);
  EXPECT_EQ(HeaderOf(held, "Retry-After"), "30");
  throttled = false;
  for (const std::string path : {"/dav/principals/7/", "/dav/calendars/7/", "/dav/calendars/7/own/",
                                 "/dav/calendars/7/own/plan-1.ics"}) {
    EXPECT_EQ(Send("PROPFIND", path).status, 403) << path;
    EXPECT_EQ(Send("PUT", path, "BEGIN:VCALENDAR").status, 403) << path;
  }
  EXPECT_EQ(Send("PROPFIND", "/dav/elsewhere/").status, 404);
  EXPECT_EQ(Send("PROPFIND", "/dav/calendars/3/nosuch/").status, 404);
  EXPECT_EQ(Send("PROPFIND", "/dav/", "<!DOCTYPE x><propfind xmlns='DAV:'/>").status, 400);
  const http::Response signed_in_answer = Send("PROPFIND", "/dav/");
  EXPECT_EQ(signed_in_answer.person, std::optional<std::int64_t>(kViewer));
}

TEST_F(DavServerTest, ReportsAnswerFromTheCalendar) {
  const http::Response multiget =
      Send("REPORT", "/dav/calendars/3/own/",
           R"(<c:calendar-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav">
         <d:prop><d:getetag/><c:calendar-data/></d:prop>
         <d:href>/dav/calendars/3/own/plan-1.ics</d:href>
         <d:href>/dav/calendars/3/own/missing.ics</d:href>
         <d:href>/dav/calendars/7/own/plan-1.ics</d:href></c:calendar-multiget>)");
  const std::string got = Body(multiget);
  EXPECT_EQ(multiget.status, 207);
  EXPECT_NE(got.find("<c:calendar-data>BEGIN:VCALENDAR&#13;\nUID:1"), std::string::npos);
  EXPECT_NE(got.find("missing.ics</d:href><d:status>HTTP/1.1 404"), std::string::npos);
  // Asked expanded, a series comes as its instances in the range.
  const std::string expanded = Body(
      Send("REPORT", "/dav/calendars/3/own/",
           R"(<c:calendar-multiget xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav">
         <d:prop><c:calendar-data><c:expand start="20261202T000000Z" end="20261204T000000Z"/>
         </c:calendar-data></d:prop><d:href>/dav/calendars/3/own/daily.ics</d:href>
         </c:calendar-multiget>)"));
  EXPECT_EQ(expanded.find("RRULE"), std::string::npos) << expanded;
  EXPECT_NE(expanded.find("RECURRENCE-ID:20261202T090000Z"), std::string::npos) << expanded;
  EXPECT_NE(expanded.find("RECURRENCE-ID:20261203T090000Z"), std::string::npos);
  EXPECT_EQ(expanded.find("20261201T090000Z"), std::string::npos);
  EXPECT_EQ(expanded.find("20261204T090000Z"), std::string::npos);
  EXPECT_NE(got.find("/dav/calendars/7/own/plan-1.ics</d:href><d:status>HTTP/1.1 404"),
            std::string::npos);

  Send("REPORT", "/dav/calendars/3/own/",
       R"(<c:calendar-query xmlns:c="urn:ietf:params:xml:ns:caldav"><c:filter>
          <c:comp-filter name="VCALENDAR"><c:comp-filter name="VEVENT">
          <c:time-range start="20261201T000000Z" end="20261208T000000Z"/>
          </c:comp-filter></c:comp-filter></c:filter></c:calendar-query>)");
  ASSERT_TRUE(calendars.asked_days);  // the end is exclusive: up to the 7th
  EXPECT_EQ(calendars.asked_days->first, DateTime::FromCivil(2026, 12, 1));
  EXPECT_EQ(calendars.asked_days->second, DateTime::FromCivil(2026, 12, 7));

  const http::Response sync =
      Send("REPORT", "/dav/calendars/3/own/",
           "<sync-collection xmlns='DAV:'><sync-token>urn:x:sync:2</sync-token>"
           "<sync-level>1</sync-level><prop><getetag/></prop></sync-collection>");
  EXPECT_NE(Body(sync).find("gone.ics</d:href><d:status>HTTP/1.1 404"), std::string::npos);
  EXPECT_NE(Body(sync).find("<d:sync-token>urn:x:sync:3</d:sync-token>"), std::string::npos);
  const http::Response bad =
      Send("REPORT", "/dav/calendars/3/own/",
           "<sync-collection xmlns='DAV:'><sync-token>bad</sync-token></sync-collection>");
  EXPECT_EQ(bad.status, 403);
  EXPECT_NE(Body(bad).find("<d:valid-sync-token/>"), std::string::npos);
  const http::Response limited =
      Send("REPORT", "/dav/calendars/3/own/",
           "<sync-collection xmlns='DAV:'><sync-token/><limit><nresults>1</nresults></limit>"
           "</sync-collection>");
  EXPECT_EQ(limited.status, 507);
  const http::Response other =
      Send("REPORT", "/dav/calendars/3/own/", "<d:acl-principal-prop-set xmlns:d='DAV:'/>");
  EXPECT_EQ(other.status, 403);
  EXPECT_NE(Body(other).find("<d:supported-report/>"), std::string::npos);
}

TEST_F(DavServerTest, WritesFollowTheirConditionsAndRefusals) {
  const std::string event =
      "BEGIN:VCALENDAR\r\nUID:new\r\nDTSTAMP:20261201T000000Z\r\nEND:VCALENDAR\r\n";
  const std::vector<http::Header> calendar_type = {{"Content-Type", "text/calendar; charset=utf-8"},
                                                   {"If-None-Match", "*"}};
  const http::Response created = Send("PUT", "/dav/calendars/3/own/new.ics", event, calendar_type);
  EXPECT_EQ(created.status, 201);
  EXPECT_EQ(HeaderOf(created, "ETag"), "\"e2\"");
  EXPECT_EQ(Send("PUT", "/dav/calendars/3/own/new.ics", event, calendar_type).status, 412);
  // Stored otherwise than sent: no tag, so that the client reads it again.
  const http::Response changed =
      Send("PUT", "/dav/calendars/3/own/new.ics", "BEGIN:VCALENDAR\r\n", {{"If-Match", "\"e2\""}});
  EXPECT_EQ(changed.status, 204);
  EXPECT_EQ(HeaderOf(changed, "ETag"), "");
  EXPECT_EQ(Send("PUT", "/dav/calendars/3/own/new.ics", event, {{"If-Match", "\"e2\""}}).status,
            412);

  const http::Response conflict = Send("PUT", "/dav/calendars/3/own/x.ics", "UID:taken");
  EXPECT_EQ(conflict.status, 409);
  EXPECT_NE(Body(conflict).find("<c:no-uid-conflict/>"), std::string::npos);
  EXPECT_EQ(Send("PUT", "/dav/calendars/3/person-7/x.ics", event).status, 403);
  EXPECT_EQ(
      Send("PUT", "/dav/calendars/3/own/x.ics", event, {{"Content-Type", "text/html"}}).status,
      403);

  const http::Response read = Send("GET", "/dav/calendars/3/own/plan-1.ics");
  EXPECT_EQ(read.status, 200);
  EXPECT_EQ(read.content_type(), "text/calendar; charset=utf-8");
  EXPECT_EQ(HeaderOf(read, "ETag"), "\"e1\"");
  EXPECT_EQ(
      Send("GET", "/dav/calendars/3/own/plan-1.ics", "", {{"If-None-Match", "\"e1\""}}).status,
      304);
  EXPECT_EQ(Send("DELETE", "/dav/calendars/3/own/plan-1.ics").status, 204);
  EXPECT_EQ(Send("GET", "/dav/calendars/3/own/plan-1.ics").status, 404);
  EXPECT_EQ(Send("DELETE", "/dav/calendars/3/own/plan-1.ics").status, 404);
  EXPECT_EQ(Send("DELETE", "/dav/calendars/3/own/").status, 403);

  for (const std::string method : {"MKCALENDAR", "MKCOL", "MOVE", "COPY"}) {
    EXPECT_EQ(Send(method, "/dav/calendars/3/own/").status, 403) << method;
  }
  EXPECT_EQ(Send("LOCK", "/dav/calendars/3/own/").status, 405);
  const http::Response patch =
      Send("PROPPATCH", "/dav/calendars/3/own/",
           "<d:propertyupdate xmlns:d='DAV:'><d:set><d:prop><d:displayname>x</d:displayname>"
           "</d:prop></d:set></d:propertyupdate>");
  EXPECT_EQ(patch.status, 207);
  EXPECT_NE(Body(patch).find("<d:displayname/></d:prop><d:status>HTTP/1.1 403"), std::string::npos);
}

}  // namespace
}  // namespace ostrand::web::dav
