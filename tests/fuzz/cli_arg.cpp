// The ARG words of `ostrand call` and --session: any word reads as a value
// or fails with Error naming it.
#include "cli_values.h"
#include "core/error.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view word = ostrand::fuzz::AsText(data, size);
  try {
    const ostrand::Value value = ostrand::cli::ParseArg(word);
    if (value.is_text() && !word.starts_with("str:")) {
      Check(value.text() == word, "a word of no kind is its own text");
    }
  } catch (const ostrand::Error&) {
  }
  return 0;
}
