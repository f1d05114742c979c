// The bytes of one mail as a mail server takes them (RFC 5322 and MIME):
// the headers From, To, Subject, Date, Message-ID and MIME-Version, the
// one-click unsubscribe headers (RFC 2369, RFC 8058) when the mail has an
// unsubscribe link, and a multipart/alternative body of a text/plain and
// a text/html part, both UTF-8 in base64 of lines of 76 characters, so
// that no line of the mail grows long whatever the text. Lines end in
// CRLF. A display name or subject with other than printable ASCII goes out
// in RFC 2047 encoded-words.
//
// No value reaches a header unchecked: a CR or LF in a header value would
// let a person's name or address add headers or recipients of its own, so
// ComposeMail refuses such a value (and any other control character or
// text that is no UTF-8) before writing anything.
#pragma once

#include <string>
#include <string_view>

#include "core/date.h"

namespace ostrand::web::notify {

// What a mail says and to whom.
struct MailMessage {
  std::string from_address;  // the site's sending address (serve --mail-from)
  std::string from_name;     // the name shown beside it; empty: the address alone
  std::string to_address;
  std::string subject;
  std::string text;  // the plain-text part, lines ending in '\n'
  std::string html;  // the HTML part, a whole document
  // The address of the one-click unsubscribe (an https:// or http:// URL);
  // empty: the mail is no mail one asked for and has none.
  std::string unsubscribe_url;
};

// Whether `value` may stand in a header: UTF-8 without control characters
// (no CR, LF or NUL; a tab is allowed). Every header value of ComposeMail
// passes this check.
bool IsSafeHeaderValue(std::string_view value);

// `text` as a header's words: when `fold_ascii` and it is printable ASCII
// without "=?", as it is, folded before blanks into lines of about 76
// characters; else (or when a word is too long to fold under 900) as
// RFC 2047 encoded-words ("=?UTF-8?B?...?="), each at most 75 characters
// and cut only between characters. Lines are joined by CRLF and a blank
// (a folded header line), so that no line of the header passes 998. The
// caller checks the text first (IsSafeHeaderValue).
std::string EncodedWords(std::string_view text, bool fold_ascii = true);

// `bytes` in base64 (RFC 2045), lines of at most 76 characters, each
// ending in CRLF.
std::string Base64Lines(std::string_view bytes);

// The whole mail, stamped with `date` (UTC) and the Message-ID
// "<message_id>" (such as "random@example.org"); `boundary` separates the
// parts (letters, digits, "=_-."; it cannot occur in base64). Throws Error
// (kBadInput) naming the header when a value fails IsSafeHeaderValue, an
// address is none IsMailAddress (web/data/mail_settings.h) takes, or the
// unsubscribe URL is neither http:// nor https://.
std::string ComposeMail(const MailMessage& mail, const DateTime& date,
                        std::string_view message_id, std::string_view boundary);

// The RFC 5322 date of the UTC time `utc`: "Wed, 09 Dec 2026 22:36:31 +0000".
std::string MailDate(const DateTime& utc);

}  // namespace ostrand::web::notify
