#include "web/account/qr_svg.h"

#include <qrencode.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/error.h"
#include "core/html.h"

namespace ostrand::web {
namespace {

constexpr int kQuietZone = 4;

struct QrFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::string QrSvg(std::string_view text, std::string_view label) {
  const std::string data(text);
  errno = 0;
  const std::unique_ptr<QRcode, QrFree> code(
      QRcode_encodeData(static_cast<int>(data.size()),
                        reinterpret_cast<const unsigned char*>(data.data()), 0, QR_ECLEVEL_M));
  if (!code) {
    const int error = errno;
    throw Error("cannot draw a QR code of " + std::to_string(text.size()) +
                " bytes: " + (error != 0 ? std::strerror(error) : "no reason given"));
  }
  const int width = code->width;
  const std::string side = std::to_string(width + 2 * kQuietZone);
  std::string out;
  out.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(width) * 4);
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"qr\" role=\"img\" viewBox=\"0 0 ";
  out += side + " " + side + "\" width=\"" + std::to_string((width + 2 * kQuietZone) * 4) +
         "\" height=\"" + std::to_string((width + 2 * kQuietZone) * 4) +
         "\" shape-rendering=\"crispEdges\" aria-label=\"";
  AppendEscapedHtml(out, label);
  out += "\"><rect width=\"" + side + "\" height=\"" + side +
         "\" fill=\"#fff\"/><path fill=\"#000\" d=\"";
  // Each row's runs of dark modules as one rectangle each.
  for (int y = 0; y < width; ++y) {
    const unsigned char* row = code->data + static_cast<std::ptrdiff_t>(y) * width;
    for (int x = 0; x < width;) {
      if ((row[x] & 1) == 0) {
        ++x;
        continue;
      }
      int run = 1;
      while (x + run < width && (row[x + run] & 1) != 0) ++run;
      out += 'M' + std::to_string(x + kQuietZone) + ' ' + std::to_string(y + kQuietZone) + 'h' +
             std::to_string(run) + "v1h-" + std::to_string(run) + 'z';
      x += run;
    }
  }
  out += "\"/></svg>";
  return out;
}

}  // namespace ostrand::web
