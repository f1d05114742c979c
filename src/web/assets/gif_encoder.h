// A minimal GIF89a encoder for the host's small drawn images (the picker
// arrows and the tab separator): one frame, a palette of up to 256 colours,
// and optionally one transparent palette entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrand::web {

struct GifColor {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

// An indexed image: `pixels` holds width * height palette indices, row by
// row from the top left.
struct GifImage {
  int width = 0;
  int height = 0;
  std::vector<GifColor> palette;
  std::vector<std::uint8_t> pixels;
  // The palette index drawn as transparent, if any.
  std::optional<std::uint8_t> transparent;
};

// Returns the bytes of a GIF89a file showing `image`. The pixel data is
// LZW-coded without building up a dictionary (a clear code every few
// pixels), which any decoder reads and which costs nothing for images of a
// few hundred pixels. Throws Error when the size is not 1..65535 in each
// direction, the palette is empty or has more than 256 colours, the pixel
// count does not match, or a pixel or the transparent index lies outside
// the palette.
std::string EncodeGif(const GifImage& image);

}  // namespace ostrand::web
