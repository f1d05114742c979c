#include "web/notify/mail_message.h"

#include <sodium.h>

#include <string>

#include "core/date_text.h"
#include "core/error.h"
#include "core/sodium_start.h"
#include "core/text.h"
#include "core/utf8.h"
#include "web/data/mail_settings.h"

namespace ostrand::web::notify {
namespace {

constexpr std::string_view kCrlf = "\r\n";

bool IsPrintableAscii(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

std::string Base64(std::string_view bytes) {
  StartSodium();
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  out.pop_back();  // the terminating NUL
  return out;
}

void CheckHeader(std::string_view header, std::string_view value) {
  if (!IsSafeHeaderValue(value)) {
    throw Error("the mail's " + std::string(header) +
                    " holds a line break, a control character or no UTF-8",
                ErrorKind::kBadInput);
  }
}

void CheckAddress(std::string_view header, std::string_view address) {
  CheckHeader(header, address);
  if (!IsMailAddress(address)) {
    throw Error("the mail's " + std::string(header) + " '" + std::string(address) +
                    "' is no mail address",
                ErrorKind::kBadInput);
  }
}

// Widths of a header's lines: folded lines aim at 76 characters; a line
// that folding cannot bring under kLongestFolded (a word too long) sends
// the value to encoded-words, well under the 998 a mail line may hold.
constexpr std::size_t kFoldWidth = 76;
constexpr std::size_t kLongestFolded = 900;
// Room kept on a header's first line for its name ("Subject: ").
constexpr std::size_t kNameRoom = 10;

// Printable ASCII `text` folded before blanks (RFC 5322 folding: CRLF is
// put before a blank, and a reader takes it out again), never before the
// first word nor before blanks that end the text. Empty when some line
// would still be longer than kLongestFolded.
std::string FoldedAtBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / kFoldWidth * 2 + 2);
  std::size_t line = kNameRoom;
  std::size_t at = 0;
  while (at < text.size()) {
    // A piece: the blanks before a word, and the word.
    std::size_t end = text.find_first_not_of(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const bool has_word = end < text.size();
    end = text.find(' ', end);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = text.substr(at, end - at);
    if (has_word && at > 0 && line + piece.size() > kFoldWidth) {
      out += "\r\n";
      line = 0;
    }
    out += piece;
    line += piece.size();
    if (line > kLongestFolded) return {};
    at = end;
  }
  return out;
}

// "Name" <address>, the name quoted or in encoded-words.
std::string Mailbox(std::string_view name, std::string_view address) {
  std::string out;
  if (!name.empty()) {
    if (IsPrintableAscii(name) && name.find("=?") == std::string_view::npos) {
      std::string quoted = "\"";
      for (const char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
      }
      quoted += '"';
      out = FoldedAtBlanks(quoted);
    }
    if (out.empty()) out = EncodedWords(name, /*fold_ascii=*/false);
    // The address goes on a line of its own when the name's last line
    // leaves no room for it.
    const std::size_t last_break = out.rfind("\r\n");
    const std::size_t last_line =
        last_break == std::string::npos ? out.size() + kNameRoom : out.size() - last_break - 2;
    out += last_line + address.size() + 3 > kFoldWidth ? "\r\n " : " ";
  }
  out += '<';
  out += address;
  out += '>';
  return out;
}

void AppendHeader(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += ": ";
  out += value;
  out += kCrlf;
}

void AppendPart(std::string& out, std::string_view boundary, std::string_view type,
                std::string_view body) {
  out += "--";
  out += boundary;
  out += kCrlf;
  AppendHeader(out, "Content-Type", std::string(type) + "; charset=utf-8");
  AppendHeader(out, "Content-Transfer-Encoding", "base64");
  out += kCrlf;
  // Lines of the parts end in CRLF, as a mail's text does.
  std::string text;
  text.reserve(body.size() + body.size() / 32);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\n' && (i == 0 || body[i - 1] != '\r')) text += '\r';
    text += body[i];
  }
  out += Base64Lines(text);
}

}  // namespace

bool IsSafeHeaderValue(std::string_view value) {
  return IsValidUtf8(value) && !HasControlCharacter(value);
}

std::string EncodedWords(std::string_view text, bool fold_ascii) {
  if (fold_ascii && IsPrintableAscii(text) && text.find("=?") == std::string_view::npos) {
    std::string folded = FoldedAtBlanks(text);
    if (!folded.empty() || text.empty()) return folded;
  }
  // 39 bytes (whole characters only) are 52 characters of base64, so that a
  // word with its "=?UTF-8?B?" and "?=" is 64 long and a header's first
  // line ("Subject: " and a word) stays under 78.
  constexpr std::size_t kBytesPerWord = 39;
  std::string out;
  while (!text.empty()) {
    std::size_t take = 0;
    while (take < text.size()) {
      std::size_t length = Utf8SequenceLength(text.substr(take));
      if (length == 0) length = 1;
      if (take + length > kBytesPerWord) break;
      take += length;
    }
    if (take == 0) take = 1;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?";
    out += Base64(text.substr(0, take));
    out += "?=";
    text.remove_prefix(take);
  }
  return out;
}

std::string Base64Lines(std::string_view bytes) {
  constexpr std::size_t kLine = 76;
  const std::string encoded = Base64(bytes);
  std::string out;
  out.reserve(encoded.size() + encoded.size() / kLine * 2 + 2);
  for (std::size_t at = 0; at < encoded.size(); at += kLine) {
    out.append(encoded, at, kLine);
    out += kCrlf;
  }
  return out;
}

std::string MailDate(const DateTime& utc) {
  std::string text = HttpDateText(utc);
  // "... GMT" is an obsolete zone of RFC 5322; the numeric form is current.
  if (text.ends_with(" GMT")) text.replace(text.size() - 3, 3, "+0000");
  return text;
}

std::string ComposeMail(const MailMessage& mail, const DateTime& date,
                        std::string_view message_id, std::string_view boundary) {
  CheckAddress("From", mail.from_address);
  CheckHeader("sender name", mail.from_name);
  CheckAddress("To", mail.to_address);
  CheckHeader("Subject", mail.subject);
  CheckHeader("Message-ID", message_id);
  if (message_id.find_first_of("<> ") != std::string_view::npos) {
    throw Error("the mail's Message-ID '" + std::string(message_id) + "' holds <, > or a blank",
                ErrorKind::kBadInput);
  }
  for (const char c : boundary) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '=' || c == '_' || c == '-' || c == '.';
    if (!ok) throw Error("the mail's boundary holds '" + std::string(1, c) + "'");
  }
  if (boundary.empty() || boundary.size() > 70) throw Error("the mail's boundary is not 1 to 70 long");
  if (!mail.unsubscribe_url.empty()) {
    CheckHeader("List-Unsubscribe", mail.unsubscribe_url);
    if ((!StartsWithNoCase(mail.unsubscribe_url, "https://") &&
         !StartsWithNoCase(mail.unsubscribe_url, "http://")) ||
        mail.unsubscribe_url.find_first_of("<> ") != std::string::npos) {
      throw Error("the mail's unsubscribe address is no http:// or https:// URL",
                  ErrorKind::kBadInput);
    }
  }

  std::string out;
  out.reserve(mail.text.size() * 2 + mail.html.size() * 2 + 1024);
  AppendHeader(out, "From", Mailbox(mail.from_name, mail.from_address));
  AppendHeader(out, "To", Mailbox({}, mail.to_address));
  AppendHeader(out, "Subject", EncodedWords(mail.subject));
  AppendHeader(out, "Date", MailDate(date));
  AppendHeader(out, "Message-ID", "<" + std::string(message_id) + ">");
  AppendHeader(out, "MIME-Version", "1.0");
  if (!mail.unsubscribe_url.empty()) {
    AppendHeader(out, "List-Unsubscribe", "<" + mail.unsubscribe_url + ">");
    AppendHeader(out, "List-Unsubscribe-Post", "List-Unsubscribe=One-Click");
  }
  AppendHeader(out, "Content-Type",
               "multipart/alternative; boundary=\"" + std::string(boundary) + "\"");
  out += kCrlf;
  AppendPart(out, boundary, "text/plain", mail.text);
  AppendPart(out, boundary, "text/html", mail.html);
  out += "--";
  out += boundary;
  out += "--";
  out += kCrlf;
  return out;
}

}  // namespace ostrand::web::notify
