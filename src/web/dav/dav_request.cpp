#include "web/dav/dav_request.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>

#include "core/text.h"
#include "web/http/url.h"

namespace ostrand::web::dav {
namespace {

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// No network, no entities substituted, no DTD loaded or its defaults
// applied, the parser's own size limits kept, and nothing printed.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR |
                              XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;

Error Refused(const std::string& message) { return Error(message, ErrorKind::kBadInput); }

std::string_view Name(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

std::string_view Ns(const xmlNode* node) {
  return node->ns != nullptr && node->ns->href != nullptr
             ? std::string_view(reinterpret_cast<const char*>(node->ns->href))
             : std::string_view();
}

bool Is(const xmlNode* node, std::string_view ns, std::string_view name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && Name(node) == name && Ns(node) == ns;
}

// The element children of `node`.
std::vector<const xmlNode*> Children(const xmlNode* node) {
  std::vector<const xmlNode*> children;
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) children.push_back(child);
  }
  return children;
}

const xmlNode* Child(const xmlNode* node, std::string_view ns, std::string_view name) {
  for (const xmlNode* child : Children(node)) {
    if (Is(child, ns, name)) return child;
  }
  return nullptr;
}

// The text content of `node`, trimmed.
std::string Content(const xmlNode* node) {
  std::string text;
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
        child->content != nullptr) {
      text += reinterpret_cast<const char*>(child->content);
    }
  }
  return std::string(TrimWhitespace(text));
}

std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
  for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
    if (std::string_view(reinterpret_cast<const char*>(attr->name)) != name ||
        attr->ns != nullptr) {
      continue;
    }
    std::string value;
    for (const xmlNode* text = attr->children; text != nullptr; text = text->next) {
      if (text->content != nullptr) value += reinterpret_cast<const char*>(text->content);
    }
    return value;
  }
  return std::nullopt;
}

// Parses the body; throws as the header says.
Doc Parse(std::string_view body) {
  static std::once_flag started;
  std::call_once(started, [] { xmlInitParser(); });
  // A DOCTYPE is where entities are declared: none is read at all. XML
  // spells the keyword in capitals; a body that writes it otherwise is not
  // well-formed and fails below.
  if (body.find("<!DOCTYPE") != std::string_view::npos ||
      body.find("<!ENTITY") != std::string_view::npos) {
    throw Refused("the request body declares a DOCTYPE, which is not accepted");
  }
  if (body.size() > static_cast<std::size_t>(INT_MAX)) {
    throw Refused("the request body is too large");
  }
  // The parser compares each attribute of an element with every earlier
  // one: a body of a megabyte of attributes would cost seconds. Real
  // bodies hold a handful (namespace declarations, comp-filter names), so
  // every "=" of the body counts as one.
  if (std::count(body.begin(), body.end(), '=') > static_cast<std::ptrdiff_t>(kMaxAttributes)) {
    throw Refused("the request body holds more than " + std::to_string(kMaxAttributes) +
                  " attributes");
  }
  Doc doc(
      xmlReadMemory(body.data(), static_cast<int>(body.size()), nullptr, nullptr, kParseOptions));
  if (!doc) {
    const xmlError* error = xmlGetLastError();
    std::string reason = error != nullptr && error->message != nullptr
                             ? std::string(TrimWhitespace(error->message))
                             : std::string("no well-formed XML");
    if (error != nullptr) reason += " (line " + std::to_string(error->line) + ")";
    xmlResetLastError();
    throw Refused("the request body is no well-formed XML: " + reason);
  }
  if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
    throw Refused("the request body declares a DOCTYPE, which is not accepted");
  }
  if (xmlDocGetRootElement(doc.get()) == nullptr) throw Refused("the request body has no element");
  return doc;
}

// The document's root, which must be `ns`:`name`.
const xmlNode* Root(const Doc& doc, std::string_view ns, std::string_view name) {
  const xmlNode* top = xmlDocGetRootElement(doc.get());
  if (!Is(top, ns, name)) {
    throw Refused("the request body's root element is '" + std::string(Name(top)) + "', not '" +
                  std::string(name) + "'");
  }
  return top;
}

// The property names inside a DAV:prop (or DAV:set / DAV:remove's prop).
void AddProps(const xmlNode* prop, std::vector<PropName>& props) {
  for (const xmlNode* child : Children(prop)) {
    if (props.size() == kMaxProps) {
      throw Refused("the request names more than " + std::to_string(kMaxProps) + " properties");
    }
    // The parser keeps "p:name" as the local name when "p" is declared
    // nowhere: no name of any namespace.
    if (Name(child).find(':') != std::string_view::npos) {
      throw Refused("the property '" + std::string(Name(child)) +
                    "' has a prefix that is not declared");
    }
    PropName name{std::string(Ns(child)), std::string(Name(child))};
    bool seen = false;
    for (const PropName& earlier : props) seen = seen || earlier == name;
    if (!seen) props.push_back(std::move(name));
  }
}

// "20261210T090000Z": a UTC time of a time-range.
DateTime ReadUtcTime(std::string_view text, const char* which) {
  const auto refused = [&] {
    return Refused(std::string("the time-range's ") + which + " '" + std::string(text) +
                   "' is not a UTC time such as 20261210T090000Z");
  };
  if (text.size() != 16 || text[8] != 'T' || text[15] != 'Z') throw refused();
  const auto number = [&](std::size_t at, std::size_t length) {
    const std::optional<std::int64_t> value = ReadWholeNumber(text.substr(at, length), 9999);
    if (!value ||
        text.substr(at, length).find_first_not_of("0123456789") != std::string_view::npos) {
      throw refused();
    }
    return static_cast<int>(*value);
  };
  const int year = number(0, 4);
  const int month = number(4, 2);
  const int day = number(6, 2);
  const int hour = number(9, 2);
  const int minute = number(11, 2);
  const int second = number(13, 2);
  // The calendar's bounds: a range beyond them is cut to them.
  if (year < 100) return DateTime::Earliest();
  try {
    return DateTime::FromCivil(year, month, day, hour, minute, second == 60 ? 59 : second);
  } catch (const Error&) {
    throw refused();
  }
}

// The comp-filter of a calendar-query: VCALENDAR, then VEVENT with an
// optional time-range.
void ReadFilter(const xmlNode* filter, ReportRequest& report) {
  const xmlNode* calendar = Child(filter, kCalDavNs, "comp-filter");
  if (calendar == nullptr) return;  // no filter: every object
  if (Attribute(calendar, "name").value_or("") != "VCALENDAR") {
    report.events = false;
    return;
  }
  const xmlNode* event = Child(calendar, kCalDavNs, "comp-filter");
  if (event == nullptr) return;
  if (Attribute(event, "name").value_or("") != "VEVENT" ||
      Child(event, kCalDavNs, "is-not-defined") != nullptr) {
    report.events = false;
    return;
  }
  const xmlNode* range = Child(event, kCalDavNs, "time-range");
  if (range == nullptr) return;
  TimeRange times;
  if (const std::optional<std::string> start = Attribute(range, "start")) {
    times.start = ReadUtcTime(*start, "start");
  }
  if (const std::optional<std::string> end = Attribute(range, "end")) {
    times.end = ReadUtcTime(*end, "end");
  }
  if (!times.start && !times.end) throw Refused("the time-range names neither start nor end");
  if (times.start && times.end && *times.end <= *times.start) {
    throw Refused("the time-range ends before it starts");
  }
  report.range = times;
}

// The expand of a calendar-data: both ends, the end after the start.
TimeRange ReadExpand(const xmlNode* expand) {
  const std::optional<std::string> start = Attribute(expand, "start");
  const std::optional<std::string> end = Attribute(expand, "end");
  if (!start || !end) throw Refused("the calendar-data's expand names no start or no end");
  TimeRange times{ReadUtcTime(*start, "start"), ReadUtcTime(*end, "end")};
  if (*times.end <= *times.start) throw Refused("the calendar-data's expand ends before it starts");
  return times;
}

// The DAV:prop or DAV:allprop of a report, and whether its calendar-data
// asks for the instances expanded.
void ReadReportProps(const xmlNode* root, ReportRequest& report) {
  if (const xmlNode* prop = Child(root, kDavNs, "prop")) {
    AddProps(prop, report.props);
    if (const xmlNode* data = Child(prop, kCalDavNs, "calendar-data")) {
      if (const xmlNode* expand = Child(data, kCalDavNs, "expand")) {
        report.expand = ReadExpand(expand);
      }
    }
  }
  report.all_props = Child(root, kDavNs, "allprop") != nullptr;
}

}  // namespace

PropfindRequest ReadPropfind(std::string_view body) {
  PropfindRequest request;
  if (TrimWhitespace(body).empty()) return request;
  const Doc doc = Parse(body);
  const xmlNode* root = Root(doc, kDavNs, "propfind");
  if (const xmlNode* prop = Child(root, kDavNs, "prop")) {
    request.kind = PropfindKind::kProp;
    AddProps(prop, request.props);
  } else if (Child(root, kDavNs, "propname") != nullptr) {
    request.kind = PropfindKind::kPropName;
  } else if (Child(root, kDavNs, "allprop") == nullptr) {
    throw Refused("the propfind names neither prop, propname nor allprop");
  }
  return request;
}

ReportRequest ReadReport(std::string_view body) {
  if (TrimWhitespace(body).empty()) throw Refused("the report has no body");
  const Doc doc = Parse(body);
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  ReportRequest report;
  if (Is(root, kCalDavNs, "calendar-query")) {
    report.kind = ReportKind::kCalendarQuery;
    ReadReportProps(root, report);
    if (const xmlNode* filter = Child(root, kCalDavNs, "filter")) ReadFilter(filter, report);
  } else if (Is(root, kCalDavNs, "calendar-multiget")) {
    report.kind = ReportKind::kMultiget;
    ReadReportProps(root, report);
    for (const xmlNode* child : Children(root)) {
      if (!Is(child, kDavNs, "href")) continue;
      if (report.hrefs.size() == kMaxHrefs) {
        throw Refused("the multiget names more than " + std::to_string(kMaxHrefs) + " hrefs");
      }
      report.hrefs.push_back(HrefPath(Content(child)));
    }
  } else if (Is(root, kDavNs, "sync-collection")) {
    report.kind = ReportKind::kSyncCollection;
    ReadReportProps(root, report);
    if (const xmlNode* token = Child(root, kDavNs, "sync-token"))
      report.sync_token = Content(token);
    if (const xmlNode* level = Child(root, kDavNs, "sync-level")) {
      const std::string text = Content(level);
      if (text != "1" && text != "infinite") {
        throw Refused("the sync-level '" + text + "' is neither 1 nor infinite");
      }
    }
    if (const xmlNode* limit = Child(root, kDavNs, "limit")) {
      const xmlNode* results = Child(limit, kDavNs, "nresults");
      const std::string text = results != nullptr ? Content(results) : std::string();
      const std::optional<std::int64_t> count = ReadWholeNumberUpTo(text, 1000000000);
      if (!count || *count == 0) throw Refused("the limit's nresults '" + text + "' is no count");
      report.limit = static_cast<std::size_t>(*count);
    }
  } else {
    throw ReportUnsupported(std::string(Name(root)));
  }
  return report;
}

std::vector<PropName> ReadPropPatch(std::string_view body) {
  const Doc doc = Parse(body);
  std::vector<PropName> props;
  for (const xmlNode* change : Children(Root(doc, kDavNs, "propertyupdate"))) {
    if (!Is(change, kDavNs, "set") && !Is(change, kDavNs, "remove")) continue;
    if (const xmlNode* prop = Child(change, kDavNs, "prop")) AddProps(prop, props);
  }
  return props;
}

std::string HrefPath(std::string_view href) {
  href = TrimWhitespace(href);
  const std::size_t scheme = href.find("://");
  if (scheme != std::string_view::npos && href.find('/') > scheme) {
    const std::size_t path = href.find('/', scheme + 3);
    href = path == std::string_view::npos ? std::string_view("/") : href.substr(path);
  }
  return http::PercentDecode(http::SplitTarget(href).path, false);
}

}  // namespace ostrand::web::dav
