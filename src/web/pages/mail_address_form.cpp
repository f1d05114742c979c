#include "web/pages/mail_address_form.h"

#include "core/text.h"
#include "web/data/audit_log.h"
#include "web/i18n/messages.h"
#include "web/pages/html_form.h"

namespace ostrand::web {

void AppendMailAddressFields(std::string& out, Language language, const MailAddress& shown) {
  AppendLabelledInput(out, Text(language, MessageId::kMailAddressLabel), "email", "mail_address",
                      shown.address, "maxlength=\"254\" autocomplete=\"email\" size=\"40\"");
  const Language chosen = ReadLanguageCode(shown.language).value_or(language);
  AppendSelectStart(out, Text(language, MessageId::kMailLanguageLabel), "mail_language");
  for (const Language option : kLanguages) {
    AppendOption(out, LanguageCode(option), LanguageName(option), option == chosen);
  }
  AppendSelectEnd(out);
}

PostedMailAddress ReadMailAddressFields(const http::FormFields& form, Language language) {
  PostedMailAddress posted;
  posted.value.address = std::string(TrimBlanks(http::FieldOrEmpty(form, "mail_address")));
  const Language chosen =
      ReadLanguageCode(http::FieldOrEmpty(form, "mail_language")).value_or(language);
  posted.value.language = std::string(LanguageCode(chosen));
  if (!posted.value.address.empty() && !IsMailAddress(posted.value.address)) {
    posted.problem = Format(language, MessageId::kMailAddressBad,
                            {ShortDetail(posted.value.address, 80)});
  }
  return posted;
}

}  // namespace ostrand::web
