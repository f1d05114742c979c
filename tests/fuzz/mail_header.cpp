// The headers of a mail: whatever name, address and subject a mail is
// given (the bytes split at the first two NULs), either the mail is refused
// or its header block is whole lines of printable ASCII ending in CRLF,
// each a header or the folded continuation of one, with exactly one From,
// To and Subject: no value can add a header or a recipient of its own.
#include <string>

#include "core/error.h"
#include "fuzz_check.h"
#include "web/notify/mail_message.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = ostrand::fuzz::AsText(data, size);
  const std::size_t first = input.find('\0');
  const std::size_t second = first == std::string_view::npos ? first : input.find('\0', first + 1);
  ostrand::web::notify::MailMessage mail;
  mail.from_address = "plans@example.org";
  mail.from_name = std::string(input.substr(0, first));
  mail.to_address = first == std::string_view::npos
                        ? "someone@example.org"
                        : std::string(input.substr(first + 1, second - first - 1));
  mail.subject = second == std::string_view::npos ? "s" : std::string(input.substr(second + 1));
  mail.text = "text";
  mail.html = "<p>html</p>";
  const bool safe = ostrand::web::notify::IsSafeHeaderValue(mail.from_name) &&
                    ostrand::web::notify::IsSafeHeaderValue(mail.subject);
  if (mail.from_name.find_first_of("\r\n") != std::string::npos ||
      mail.subject.find_first_of("\r\n") != std::string::npos) {
    Check(!safe, "a value with CR or LF is never safe");
  }
  std::string composed;
  try {
    composed = ostrand::web::notify::ComposeMail(mail, ostrand::DateTime::FromCivil(2026, 12, 14),
                                                 "id@example.org", "=_b");
  } catch (const ostrand::Error&) {
    return 0;
  }
  Check(safe, "only safe values are composed");
  const std::string_view head = std::string_view(composed).substr(0, composed.find("\r\n\r\n") + 2);
  int from = 0, to = 0, subject = 0;
  std::size_t at = 0;
  while (at < head.size()) {
    const std::size_t end = head.find("\r\n", at);
    Check(end != std::string_view::npos, "every header line ends in CRLF");
    const std::string_view line = head.substr(at, end - at);
    Check(!line.empty(), "no empty line inside the headers");
    Check(line.size() <= 998, "no header line is longer than 998");
    for (const char c : line) Check(c >= 0x20 && c <= 0x7e, "header lines are printable ASCII");
    if (line.starts_with("From: ")) ++from;
    if (line.starts_with("To: ")) ++to;
    if (line.starts_with("Subject: ")) ++subject;
    Check(line.front() == ' ' || line.find(": ") != std::string_view::npos,
          "a line is a header or a continuation");
    at = end + 2;
  }
  Check(from == 1 && to == 1 && subject == 1, "one From, one To, one Subject");
  return 0;
}
