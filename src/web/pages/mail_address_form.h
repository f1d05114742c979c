// The fields of a person's mail address, as the administration's persons
// page and one's own /account write and read them: the address and the
// language of the mails (web/data/mail_settings.h keeps both).
#pragma once

#include <optional>
#include <string>

#include "web/data/mail_settings.h"
#include "web/http/form_fields.h"
#include "web/i18n/language.h"

namespace ostrand::web {

// The labelled input "mail_address" holding `shown.address` and the select
// "mail_language" of the two languages with `shown.language` chosen (the
// page's language when that is no language code).
void AppendMailAddressFields(std::string& out, Language language, const MailAddress& shown);

// What a form posted: the address without the blanks around it, and the
// code of the language chosen (the page's when none of ours was posted).
struct PostedMailAddress {
  MailAddress value;
  // The message (in the page's language) when the address is neither
  // empty nor one IsMailAddress takes.
  std::optional<std::string> problem;
};
PostedMailAddress ReadMailAddressFields(const http::FormFields& form, Language language);

}  // namespace ostrand::web
