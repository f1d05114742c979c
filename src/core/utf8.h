// UTF-8 checks and the cleaning of stored text before it goes into a file
// format that other programs read (calendar feeds, spreadsheets). The
// database may hold any bytes; those formats must carry valid UTF-8 without
// control characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrand {

// The length (1 to 4) of the well-formed UTF-8 sequence that `text` starts
// with, or 0 when it starts ill-formed or is empty (the table of
// well-formed sequences of Unicode 15, 3.9). The one UTF-8 checker: every
// other check here and elsewhere is built on it.
std::size_t Utf8SequenceLength(std::string_view text);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Appends text with every ill-formed byte sequence replaced by U+FFFD, CR LF
// and a lone CR turned into LF, and every other control character (C0 but
// tab and LF, and DEL) left out. Valid text without controls is appended
// unchanged.
void AppendCleanText(std::string& out, std::string_view text);

// The cleaned copy of text (see AppendCleanText).
std::string CleanText(std::string_view text);

// Control characters are C0 (U+0000 to U+001F), DEL and C1 (U+0080 to
// U+009F). A one-line field (the day editor's) and HTML carry none of them
// but tab; a stored plan text may also hold line breaks.

// The first control character that plan texts may not hold (C0 but tab and
// LF, and DEL), as its code, or -1 when there is none.
int FirstForbiddenControl(std::string_view text);

// The length in bytes of the control character that `text` starts with: 1
// for a C0 control other than tab, or DEL; 2 for a C1 control (U+0080 to
// U+009F) in UTF-8; 0 for anything else, tab included.
inline std::size_t ControlCharacterLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto first = static_cast<unsigned char>(text[0]);
  if ((first < 0x20 && first != '\t') || first == 0x7f) return 1;
  if (first == 0xc2 && text.size() > 1) {
    const auto second = static_cast<unsigned char>(text[1]);
    if (second >= 0x80 && second <= 0x9f) return 2;
  }
  return 0;
}

// Whether the text holds a control character other than tab.
inline bool HasControlCharacter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ControlCharacterLength(text.substr(i)) > 0) return true;
  }
  return false;
}

// The longest start of `text` of at most `max_bytes` bytes that cuts no
// well-formed UTF-8 sequence in two (an ill-formed byte counts as one).
std::string_view Utf8Prefix(std::string_view text, std::size_t max_bytes);

// Number of characters (code points) of valid UTF-8 text.
std::size_t CountCharacters(std::string_view text);

}  // namespace ostrand
