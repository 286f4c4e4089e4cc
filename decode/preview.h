// The one entry point of the content decoders: an archive entry's name and bytes in, a
// preview (text, one-line summary and, for pictures, pixels) out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/image_decode.h"

namespace rezui {

struct EntryPreview {
    std::string name;     // the entry name as handed in (UTF-8)
    std::string text;     // preview body; UTF-8 except in the raw fallback
    std::string summary;  // one line: kind of content and sizes
    bool is_image = false;
    std::optional<DecodedImage> image;  // engaged only together with is_image
};

// Picks the decoder by the entry's extension (and for some kinds its name or content) and
// always returns a filled preview: when every decoder declines, a hex dump or the raw
// bytes. Runs synchronously, keeps no state and lets no exception out.
EntryPreview build_entry_preview(const std::string& name_utf8, const std::vector<uint8_t>& bytes);

// What the picture branches share: the preview of a decoded picture, or nothing when the
// picture could not be decoded.
struct ImageContext {
    const std::string& name;
    const std::string& lzma_tag;  // " / LZMA" or empty
    uint64_t stored_size;
};
std::optional<EntryPreview> describe_image(std::optional<DecodedImage> image, const std::string& label,
                                           const std::string& kind, const ImageContext& context);

}  // namespace rezui
