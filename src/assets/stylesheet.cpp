#include "assets/stylesheet.h"

namespace ostrand::assets {
namespace {

constexpr std::string_view kStylesheet =
    "<style>\r\n"
    ".tbl { background-color: #FFFFFF; FONT-FAMILY: '宋体'; width:100%;BORDER: black double;}\r\n"
    ".tbl th{BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black "
    "1pt;BORDER-BOTTOM: black 1pt solid }\r\n"
    ".tbl td{BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black "
    "1pt;BORDER-BOTTOM: black 1pt solid }\r\n"
    ".lable{background-color:#718EB7;FONT-FAMILY: '宋体';color:#FFFFFF;}\r\n"
    ".input{background-color: #E3ECF2;FONT-FAMILY: '宋体';}\r\n"
    ".tbl a{ color:black;text-decoration: none}\r\n"
    ".title { color:black;text-align: center; FONT-SIZE: 14pt bold; background-color: #FFFFFF; "
    "FONT-FAMILY: '宋体'; }\r\n"
    ".menu { background-color: #FFFFFF; FONT-FAMILY: '宋体'; width:100%;}\r\n"
    ".menu td{width:80px; color:#DDDDDD;background-color: #cdcdcd;text-align: center; "
    "BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black 1pt;BORDER-BOTTOM: "
    "black 1pt solid }\r\n"
    ".menu.a2{width:100%;background-color: #EFEFEF;color:#FFFFFF;text-decoration: none}\r\n"
    ".menu a{ width:100%;color:black;text-decoration: none}\r\n"
    ".page { background-color: #FFFFFF; FONT-FAMILY: '宋体'; }\r\n"
    ".page td{width:60px;color:#DDDDDD;background-color:#F0F0F0;FONT-SIZE: small;text-align: "
    "center; BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black "
    "1pt;BORDER-BOTTOM: black 1pt solid }\r\n"
    ".page a{ width:100%;color:black;FONT-SIZE: small;text-decoration: none}\r\n"
    "</style>\r\n";

}  // namespace

std::string_view Stylesheet() { return kStylesheet; }

bool SelectsStylesheet(const Value& nType) {
  switch (nType.kind()) {
    case Kind::kEmpty:
      return true;  // the empty value equals the empty text
    case Kind::kText:
      // Compared with the number 1 when the text reads as a number, else
      // with the empty text; a text that is neither selects nothing.
      if (nType.ReadsAsNumber()) return nType.ToNumber() == 1;
      return nType.text().empty();
    case Kind::kBool:
    case Kind::kInt16:
    case Kind::kInt32:
    case Kind::kSingle:
    case Kind::kDouble:
    case Kind::kDate:
      return nType.ToNumber() == 1;
    case Kind::kNull:
    case Kind::kObject:
      return false;
  }
  return false;
}

std::string_view StyleTextFor(const Value& nType) {
  return SelectsStylesheet(nType) ? kStylesheet : std::string_view();
}

}  // namespace ostrand::assets
