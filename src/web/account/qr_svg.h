// A QR code drawn as inline SVG (libqrencode): the enrolment page shows
// the one-time-code secret's address as one, inside the page itself,
// since the pages load images from this site only.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::web {

// The QR code of `text` (byte mode, error correction level M, the smallest
// version that holds it) as an <svg> element: dark modules as one path on
// a white square with the quiet zone of four modules, `label` (escaped)
// as its accessible name. Only the label is text from outside; every other
// character is the drawing's own. Throws Error naming the length when the
// text does not fit a QR code, or libqrencode fails.
std::string QrSvg(std::string_view text, std::string_view label);

}  // namespace ostrand::web
