// The `ostrand script` line reader: any line either reads as a call or is
// refused as malformed; it never fails otherwise.
#include "cli_values.h"
#include "fuzz_check.h"
#include "script_line.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line = ostrand::fuzz::AsText(data, size);
  try {
    const ostrand::cli::ScriptCall call = ostrand::cli::ReadScriptLine(line);
    Check(!ostrand::cli::IsBlankScriptLine(line), "a blank line is no call");
    for (const ostrand::Value& arg : call.args) {
      // Every argument read has a text (objects never come from a script).
      (void)arg.ToText();
    }
  } catch (const ostrand::cli::MalformedArgument&) {
  }
  return 0;
}
