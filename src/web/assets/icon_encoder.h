// An encoder of Windows icon files (.ico) for the site icon: one image of
// up to 256x256 pixels, stored as a 32-bit bitmap with an alpha channel and
// its transparency mask, which every browser reads.
#pragma once

#include <string>

#include "web/assets/gif_encoder.h"

namespace ostrand::web {

// The bytes of an .ico file showing `image` (an indexed image as the GIF
// encoder takes it; its transparent index becomes fully transparent).
// Throws Error when the size is not 1..256 in each direction, the pixel
// count does not match, or a pixel lies outside the palette.
std::string EncodeIcon(const GifImage& image);

}  // namespace ostrand::web
