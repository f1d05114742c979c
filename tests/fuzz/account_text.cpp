// What a person types or a browser sends to the account pages: a new
// password judged by the rules (never fails; a password they let through has
// at least the shortest length and is no common one), and the address and
// User-Agent kept of a session (at most the limit in bytes, valid UTF-8,
// no control character but tab and line feed, and a text that was so
// already and short enough is kept as it is).
#include "core/utf8.h"
#include "fuzz_check.h"
#include "web/auth/password_rules.h"
#include "web/auth/session_records.h"

using ostrand::fuzz::Check;
namespace web = ostrand::web;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const std::optional<web::PasswordProblem> problem = web::JudgeNewPassword(text, 7, "Name");
  if (!problem) {
    Check(text.size() >= web::kShortestPassword, "a short password passes");
    Check(!web::IsCommonPassword(text), "a common password passes");
  }
  const std::string kept = web::SessionText(text);
  Check(kept.size() <= web::kSessionTextLimit, "a session text is too long");
  Check(ostrand::IsValidUtf8(kept), "a session text is no UTF-8");
  Check(ostrand::FirstForbiddenControl(kept) < 0, "a session text holds a control");
  if (text.size() <= web::kSessionTextLimit && ostrand::CleanText(text) == text) {
    Check(kept == text, "a clean short text is changed");
  }
  return 0;
}
