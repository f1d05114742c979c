// Escaping of text that goes into markup: HTML element content and quoted
// attribute values alike, and the XML bodies of the calendar protocol. This
// is the one place where markup is escaped.
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

// Appends text escaped for XML element content and quoted attribute
// values: & < > " as entities, a carriage return as &#13; (so that the CR LF
// of calendar data survives the parser's line-end rule), tab and line feed
// as they are, any other control character (which XML 1.0 cannot hold) and
// ill-formed UTF-8 as U+FFFD.
void AppendXmlText(std::string& out, std::string_view text);
// The escaped copy of text.
std::string XmlText(std::string_view text);

}  // namespace ostrand
