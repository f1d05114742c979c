// The HTML form controls of the host's pages (sign-in, sign-out, the person
// picker, the day editor), written in one way everywhere. Every value and
// caption goes through the one HTML escaper (core/html.h); names, types and
// the extra attributes are the host's own constant markup.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web {

// <form class="C" method="M" action="A"> (no class attribute when `css_class`
// is empty).
void AppendFormStart(std::string& out, std::string_view method, std::string_view action,
                     std::string_view css_class = {});

// <input type="hidden" name="N" value="V">
void AppendHiddenField(std::string& out, std::string_view name, std::string_view value);

// <input type="T" name="N" value="V" ATTRIBUTES> inside
// <label>CAPTION ...</label> and a line break. Without a value (a password)
// the value attribute is left out; `attributes`, when given, follow after a
// blank.
void AppendLabelledInput(std::string& out, std::string_view caption, std::string_view type,
                         std::string_view name, std::optional<std::string_view> value,
                         std::string_view attributes = {});

// <label>CAPTION <select name="N" ATTRIBUTES> and a line break; the options
// follow, then AppendSelectEnd.
void AppendSelectStart(std::string& out, std::string_view caption, std::string_view name,
                       std::string_view attributes = {});
// </select></label> and a line break.
void AppendSelectEnd(std::string& out);

// <optgroup label="LABEL"> and a line break; </optgroup> closes it.
void AppendOptionGroupStart(std::string& out, std::string_view label);

// <label><input type="radio" name="N" value="V" checked> CAPTION</label> and a
// line break.
void AppendRadioButton(std::string& out, std::string_view name, std::string_view value,
                       std::string_view caption, bool checked);

// <option value="V" selected>CAPTION</option> and a line break.
void AppendOption(std::string& out, std::string_view value, std::string_view caption,
                  bool selected);

// <a ATTRIBUTES href="HREF">CAPTION</a>: HREF and CAPTION escaped here,
// ATTRIBUTES (markup such as rel="next", or empty) written as they are.
void AppendLink(std::string& out, std::string_view href, std::string_view caption,
                std::string_view attributes = {});

// <button type="submit">CAPTION</button>
void AppendSubmitButton(std::string& out, std::string_view caption);

// <button type="submit" name="N" value="V">CAPTION</button>: one of several
// buttons of a form, which sends its value.
void AppendSubmitButton(std::string& out, std::string_view name, std::string_view value,
                        std::string_view caption);

// <label for="ID">CAPTION</label>, a line break, and
// <textarea id="ID" name="N" rows="R" cols="C" ATTRIBUTES>TEXT</textarea>.
void AppendLabelledTextArea(std::string& out, std::string_view caption, std::string_view id,
                            std::string_view name, std::string_view text, int rows, int cols,
                            std::string_view attributes = {});

}  // namespace ostrand::web
