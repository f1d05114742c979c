#include "web/assets/icon_encoder.h"

#include <cstdint>

#include "core/error.h"

namespace ostrand::web {
namespace {

void PutWord(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void PutLong(std::string& out, std::uint32_t value) {
  PutWord(out, value & 0xFFFF);
  PutWord(out, value >> 16);
}

}  // namespace

std::string EncodeIcon(const GifImage& image) {
  if (image.width < 1 || image.width > 256 || image.height < 1 || image.height > 256) {
    throw Error("an icon of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                " pixels");
  }
  const auto width = static_cast<std::uint32_t>(image.width);
  const auto height = static_cast<std::uint32_t>(image.height);
  if (image.pixels.size() != static_cast<std::size_t>(width) * height) {
    throw Error("icon pixels do not match its size");
  }
  const std::uint32_t mask_row = (width + 31) / 32 * 4;  // rows padded to 32 bits
  const std::uint32_t bitmap_size = 40 + width * height * 4 + mask_row * height;

  std::string out;
  out.reserve(6 + 16 + bitmap_size);
  // The directory: one icon.
  PutWord(out, 0);
  PutWord(out, 1);
  PutWord(out, 1);
  out += static_cast<char>(width == 256 ? 0 : width);
  out += static_cast<char>(height == 256 ? 0 : height);
  out += '\0';  // no palette
  out += '\0';
  PutWord(out, 1);   // planes
  PutWord(out, 32);  // bits per pixel
  PutLong(out, bitmap_size);
  PutLong(out, 6 + 16);
  // The bitmap header; the height counts the colour rows and the mask rows.
  PutLong(out, 40);
  PutLong(out, width);
  PutLong(out, height * 2);
  PutWord(out, 1);
  PutWord(out, 32);
  PutLong(out, 0);  // uncompressed
  PutLong(out, width * height * 4 + mask_row * height);
  for (int i = 0; i < 4; ++i) PutLong(out, 0);
  // Colour rows, bottom row first, as blue, green, red, alpha.
  for (std::uint32_t row = height; row-- > 0;) {
    for (std::uint32_t col = 0; col < width; ++col) {
      const std::uint8_t index = image.pixels[row * width + col];
      if (index >= image.palette.size()) throw Error("icon pixel outside the palette");
      const GifColor& color = image.palette[index];
      const bool clear = image.transparent && *image.transparent == index;
      out += static_cast<char>(color.blue);
      out += static_cast<char>(color.green);
      out += static_cast<char>(color.red);
      out += static_cast<char>(clear ? 0 : 0xFF);
    }
  }
  // The mask: a set bit is a transparent pixel.
  for (std::uint32_t row = height; row-- > 0;) {
    std::string bits(mask_row, '\0');
    for (std::uint32_t col = 0; col < width; ++col) {
      const std::uint8_t index = image.pixels[row * width + col];
      if (image.transparent && *image.transparent == index) {
        bits[col / 8] = static_cast<char>(bits[col / 8] | (0x80 >> (col % 8)));
      }
    }
    out += bits;
  }
  return out;
}

}  // namespace ostrand::web
