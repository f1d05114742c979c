// The XML bodies of CalDAV requests: every reader takes any text and either
// reads it within its bounds or refuses it with a bad-input Error; whatever
// a reader gives back, written into a multistatus, makes well-formed XML
// that names each property once.
#include <libxml/parser.h>

#include <memory>

#include "core/error.h"
#include "fuzz_check.h"
#include "web/dav/dav_request.h"
#include "web/dav/dav_response.h"

using ostrand::fuzz::Check;
namespace dav = ostrand::web::dav;

namespace {

void CheckWellFormed(const std::string& body) {
  const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlReadMemory(body.data(), static_cast<int>(body.size()), nullptr, nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeDoc);
  Check(doc != nullptr, "a multistatus of what was read is well-formed");
}

void Written(const std::vector<dav::PropName>& props, const std::vector<std::string>& hrefs) {
  Check(props.size() <= dav::kMaxProps, "props are bounded");
  Check(hrefs.size() <= dav::kMaxHrefs, "hrefs are bounded");
  dav::ResourceProps resource;
  resource.href = hrefs.empty() ? "/dav/" : hrefs.front();
  resource.missing = props;
  for (const dav::PropName& name : props) resource.found.push_back({name, ostrand::XmlText(name.name)});
  const dav::ResourceProps resources[] = {resource};
  CheckWellFormed(dav::MultistatusBody(resources, hrefs.empty() ? std::nullopt
                                                                : std::optional(hrefs.back())));
}

template <class Read>
void Try(Read read) {
  try {
    read();
  } catch (const ostrand::Error& e) {
    Check(e.kind() == ostrand::ErrorKind::kBadInput || e.kind() == ostrand::ErrorKind::kForbidden,
          "a body is refused as bad input or an unsupported report");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  Try([&] { Written(dav::ReadPropfind(text).props, {}); });
  Try([&] {
    const dav::ReportRequest report = dav::ReadReport(text);
    if (report.range && report.range->start && report.range->end) {
      Check(*report.range->start < *report.range->end, "a time-range starts before it ends");
    }
    Written(report.props, report.hrefs);
  });
  Try([&] { Written(dav::ReadPropPatch(text), {}); });
  return 0;
}
