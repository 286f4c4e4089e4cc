// PNG goes to the platform's imaging component, which is not here: natively every PNG
// declines, as an undecodable one does, and the preview goes on to its later branches.
#include "decode/image_decode.h"

namespace rezui {

std::optional<DecodedImage> decode_image_wic(const std::vector<uint8_t>&) { return std::nullopt; }

}  // namespace rezui
