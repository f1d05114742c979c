#include "web/dav/dav_response.h"

#include "core/html.h"
#include "web/http/status.h"

namespace ostrand::web::dav {
namespace {

constexpr std::string_view kRootNamespaces =
    " xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\""
    " xmlns:cs=\"http://calendarserver.org/ns/\" xmlns:ic=\"http://apple.com/ns/ical/\"";

std::string_view Prefix(std::string_view ns) {
  if (ns == kDavNs) return "d";
  if (ns == kCalDavNs) return "c";
  if (ns == kCalendarServerNs) return "cs";
  if (ns == kAppleIcalNs) return "ic";
  return {};
}

// Opens (or, with `empty`, writes whole) the element of a property name.
void OpenProp(std::string& out, const PropName& name, bool empty) {
  const std::string_view prefix = Prefix(name.ns);
  out += '<';
  if (!prefix.empty()) {
    out += prefix;
    out += ':';
    out += name.name;
  } else if (name.ns.empty()) {
    out += name.name;
    out += " xmlns=\"\"";
  } else {
    out += "x:";
    out += name.name;
    out += " xmlns:x=\"";
    AppendXmlText(out, name.ns);
    out += '"';
  }
  out += empty ? "/>" : ">";
}

void CloseProp(std::string& out, const PropName& name) {
  const std::string_view prefix = Prefix(name.ns);
  out += "</";
  if (!prefix.empty()) {
    out += prefix;
    out += ':';
  } else if (!name.ns.empty()) {
    out += "x:";
  }
  out += name.name;
  out += '>';
}

void AppendStatus(std::string& out, int status) {
  out += "<d:status>HTTP/1.1 ";
  out += std::to_string(status);
  out += ' ';
  out += http::ReasonPhrase(status);
  out += "</d:status>";
}

void AppendPropstat(std::string& out, std::span<const PropName> names, int status) {
  if (names.empty()) return;
  out += "<d:propstat><d:prop>";
  for (const PropName& name : names) OpenProp(out, name, true);
  out += "</d:prop>";
  AppendStatus(out, status);
  out += "</d:propstat>";
}

}  // namespace

std::string MultistatusBody(std::span<const ResourceProps> resources,
                            const std::optional<std::string>& sync_token) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:multistatus";
  out += kRootNamespaces;
  out += '>';
  for (const ResourceProps& resource : resources) {
    out += "<d:response><d:href>";
    AppendXmlText(out, resource.href);
    out += "</d:href>";
    if (resource.status) {
      AppendStatus(out, *resource.status);
    } else {
      if (!resource.found.empty()) {
        out += "<d:propstat><d:prop>";
        for (const PropValue& value : resource.found) {
          if (value.xml.empty()) {
            OpenProp(out, value.name, true);
            continue;
          }
          OpenProp(out, value.name, false);
          out += value.xml;
          CloseProp(out, value.name);
        }
        out += "</d:prop>";
        AppendStatus(out, 200);
        out += "</d:propstat>";
      }
      AppendPropstat(out, resource.forbidden, 403);
      AppendPropstat(out, resource.missing, 404);
      if (resource.found.empty() && resource.forbidden.empty() && resource.missing.empty()) {
        AppendStatus(out, 200);
      }
    }
    out += "</d:response>";
  }
  if (sync_token) {
    out += "<d:sync-token>";
    AppendXmlText(out, *sync_token);
    out += "</d:sync-token>";
  }
  out += "</d:multistatus>\n";
  return out;
}

std::string_view ConditionNamespace(std::string_view condition) {
  for (const std::string_view dav :
       {"valid-sync-token", "propfind-finite-depth", "supported-report",
        "number-of-matches-within-limits", "need-privileges"}) {
    if (condition == dav) return kDavNs;
  }
  return kCalDavNs;
}

std::string ErrorBody(std::string_view condition, std::string_view message) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:error";
  out += kRootNamespaces;
  out += '>';
  if (!condition.empty()) {
    OpenProp(out, {std::string(ConditionNamespace(condition)), std::string(condition)}, true);
  }
  if (!message.empty()) {
    out += "<d:responsedescription>";
    AppendXmlText(out, message);
    out += "</d:responsedescription>";
  }
  out += "</d:error>\n";
  return out;
}

}  // namespace ostrand::web::dav
