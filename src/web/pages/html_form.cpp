#include "web/pages/html_form.h"

#include "core/html.h"

namespace ostrand::web {

void AppendFormStart(std::string& out, std::string_view method, std::string_view action,
                     std::string_view css_class) {
  out += "<form ";
  if (!css_class.empty()) {
    out += "class=\"";
    out += css_class;
    out += "\" ";
  }
  out += "method=\"";
  out += method;
  out += "\" action=\"";
  AppendEscapedHtml(out, action);
  out += "\">";
}

void AppendHiddenField(std::string& out, std::string_view name, std::string_view value) {
  out += "<input type=\"hidden\" name=\"";
  out += name;
  out += "\" value=\"";
  AppendEscapedHtml(out, value);
  out += "\">";
}

void AppendLabelledInput(std::string& out, std::string_view caption, std::string_view type,
                         std::string_view name, std::optional<std::string_view> value,
                         std::string_view attributes) {
  out += "<label>";
  AppendEscapedHtml(out, caption);
  out += " <input type=\"";
  out += type;
  out += "\" name=\"";
  out += name;
  out += '"';
  if (value) {
    out += " value=\"";
    AppendEscapedHtml(out, *value);
    out += '"';
  }
  if (!attributes.empty()) {
    out += ' ';
    out += attributes;
  }
  out += "></label>\n";
}

void AppendSelectStart(std::string& out, std::string_view caption, std::string_view name,
                       std::string_view attributes) {
  out += "<label>";
  AppendEscapedHtml(out, caption);
  out += " <select name=\"";
  out += name;
  out += '"';
  if (!attributes.empty()) {
    out += ' ';
    out += attributes;
  }
  out += ">\n";
}

void AppendSelectEnd(std::string& out) { out += "</select></label>\n"; }

void AppendOptionGroupStart(std::string& out, std::string_view label) {
  out += "<optgroup label=\"";
  AppendEscapedHtml(out, label);
  out += "\">\n";
}

void AppendRadioButton(std::string& out, std::string_view name, std::string_view value,
                       std::string_view caption, bool checked) {
  out += "<label><input type=\"radio\" name=\"";
  out += name;
  out += "\" value=\"";
  AppendEscapedHtml(out, value);
  out += checked ? "\" checked> " : "\"> ";
  AppendEscapedHtml(out, caption);
  out += "</label>\n";
}

void AppendOption(std::string& out, std::string_view value, std::string_view caption,
                  bool selected) {
  out += "<option value=\"";
  AppendEscapedHtml(out, value);
  out += selected ? "\" selected>" : "\">";
  AppendEscapedHtml(out, caption);
  out += "</option>\n";
}

void AppendSubmitButton(std::string& out, std::string_view caption) {
  out += "<button type=\"submit\">";
  AppendEscapedHtml(out, caption);
  out += "</button>";
}

void AppendLink(std::string& out, std::string_view href, std::string_view caption,
                std::string_view attributes) {
  out += "<a ";
  if (!attributes.empty()) {
    out += attributes;
    out += ' ';
  }
  out += "href=\"";
  AppendEscapedHtml(out, href);
  out += "\">";
  AppendEscapedHtml(out, caption);
  out += "</a>";
}

void AppendSubmitButton(std::string& out, std::string_view name, std::string_view value,
                        std::string_view caption) {
  out += "<button type=\"submit\" name=\"";
  out += name;
  out += "\" value=\"";
  AppendEscapedHtml(out, value);
  out += "\">";
  AppendEscapedHtml(out, caption);
  out += "</button>";
}

void AppendLabelledTextArea(std::string& out, std::string_view caption, std::string_view id,
                            std::string_view name, std::string_view text, int rows, int cols,
                            std::string_view attributes) {
  out += "<label for=\"";
  out += id;
  out += "\">";
  AppendEscapedHtml(out, caption);
  out += "</label>\n<textarea id=\"";
  out += id;
  out += "\" name=\"";
  out += name;
  out += "\" rows=\"" + std::to_string(rows) + "\" cols=\"" + std::to_string(cols) + '"';
  if (!attributes.empty()) {
    out += ' ';
    out += attributes;
  }
  out += '>';
  AppendEscapedHtml(out, text);
  out += "</textarea>";
}

}  // namespace ostrand::web
