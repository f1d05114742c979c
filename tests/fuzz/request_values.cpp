// The values a page reads from its query or form (whole numbers, capped or
// not, person ids, days, the page to open after signing in, the filters of
// the audit log), the operator's duty list, and the names an administrator
// types: any text reads or fails with the error each reader promises.
#include "core/error.h"
#include "core/text.h"
#include "core/utf8.h"
#include "web/data/organisation.h"
#include "fuzz_check.h"
#include "web/admin/audit_page.h"
#include "web/http/form_fields.h"
#include "web/http/request_error.h"
#include "web/http/request_values.h"
#include "web/i18n/http_error.h"
#include "web/pages/signin_page.h"
#include "web/site/server_options.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const std::optional<std::int64_t> number = ostrand::web::ReadWholeNumber(text, 1000);
  Check(!number || (*number >= 0 && *number <= 1000), "a whole number lies within its bound");
  const std::optional<std::int64_t> capped = ostrand::ReadWholeNumberUpTo(text, 1000);
  Check(capped.has_value() == (!text.empty() && text.find_first_not_of("0123456789") ==
                                                    std::string_view::npos),
        "digits, and only digits, read as a capped number");
  Check(!number || capped == number, "a number within the cap reads as itself");
  try {
    const std::int64_t id = ostrand::web::ReadPersonIdValue("personID", text);
    Check(id >= 0 && id <= INT32_MAX, "a person id lies within 32 bits");
  } catch (const ostrand::web::http::RequestError& e) {
    Check(e.status() == 400, "a bad person id is a bad request");
  }
  try {
    const ostrand::DateTime day = ostrand::web::ReadDayValue("dt", text);
    Check(day.seconds() == 0, "a day has no time of day");
  } catch (const ostrand::web::http::RequestError& e) {
    Check(e.status() == 400, "a bad day is a bad request");
  }
  const std::string next = ostrand::web::SafeNextPage(text);
  Check(next.starts_with("/schedule/"), "sign-in only ever goes to a page of this host");
  Check(ostrand::web::IsCleanTarget(next), "a redirect target a header can carry");
  if (const std::optional<std::string> name = ostrand::web::ReadOrgName(text, 20)) {
    Check(ostrand::IsValidUtf8(*name) && !ostrand::HasControlCharacter(*name) &&
              ostrand::CountCharacters(*name) <= 20 && !name->empty(),
          "a name is UTF-8 without controls within its bound");
    Check(ostrand::web::ReadOrgName(*name, 20) == name, "a name read reads again as itself");
  }
  try {
    const ostrand::web::AuditQuery audit =
        ostrand::web::ReadAuditQuery(ostrand::web::http::ParseFields(text));
    Check(audit.page >= 1, "an audit page number counts from 1");
    Check(audit.kind.empty() || ostrand::web::IsAuditKind(audit.kind), "a kind of the log");
    Check(audit.person.size() <= ostrand::web::kTypedNameLimit, "a short person filter");
  } catch (const ostrand::web::http::RequestError& e) {
    Check(e.status() == 400, "a bad audit filter is a bad request");
  } catch (const ostrand::web::HttpError& e) {
    Check(e.status() == 400, "an unknown audit kind is a bad request");
  }
  try {
    (void)ostrand::web::ParseDutyList(text);
  } catch (const ostrand::Error&) {
  }
  return 0;
}
