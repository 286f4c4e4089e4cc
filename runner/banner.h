// The banner picture of the side panel: Base64 text from the container, decoded with the
// Windows Imaging Component into a 32-bit bitmap.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rezui {

// Standard alphabet; white space and "=" are skipped wherever they stand; any other
// character outside the alphabet gives an empty result.
std::vector<uint8_t> base64_decode(const std::string& text);

// A top-down 32-bit DIB section of the picture, or null when it cannot be decoded or a side
// is outside 1..8192. Width and height are set on success.
HBITMAP decode_banner_image(const uint8_t* data, uint32_t size, int& width, int& height);

}  // namespace rezui
