// UTF-8 checks and the cleaning of stored text before it goes into a file
// format that other programs read (calendar feeds, spreadsheets). The
// database may hold any bytes; those formats must carry valid UTF-8 without
// control characters.
#pragma once

#include <string>
#include <string_view>

namespace ostrand {

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

// The first control character that plan texts may not hold (C0 but tab and
// LF, and DEL), as its code, or -1 when there is none.
int FirstForbiddenControl(std::string_view text);

// Number of characters (code points) of valid UTF-8 text.
std::size_t CountCharacters(std::string_view text);

}  // namespace ostrand
