// Escaping of text that goes into HTML markup: element content and quoted
// attribute values alike. This is the one place where markup is escaped.
#pragma once

#include <string>
#include <string_view>

namespace ostrand {

// Appends text to out with & < > " ' written as &amp; &lt; &gt; &quot; &#39;,
// and control characters (core/utf8.h) replaced, never written raw: a line
// break or carriage return by a space (as a browser shows it anyway), any
// other by U+FFFD. Tabs stay. Text without those characters is appended
// unchanged.
void AppendEscapedHtml(std::string& out, std::string_view text);

// The escaped copy of text.
std::string EscapeHtml(std::string_view text);

}  // namespace ostrand
