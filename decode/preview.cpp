#include "decode/preview.h"

#include <exception>

#include "archive/lzma.h"
#include "archive/util.h"
#include "decode/bin_table.h"
#include "decode/enc_cfg.h"
#include "decode/game_dat.h"
#include "decode/game_formats.h"
#include "decode/ltc.h"
#include "decode/text_decode.h"
#include "decode/world.h"

namespace rezui {

namespace {

constexpr size_t kLzmaOutputLimit = 0x20000000;
constexpr size_t kHexDumpBytes = 1024;

std::string number(uint64_t v) { return std::to_string(v); }

std::string lower_extension(const std::string& name) { return rez::to_lower_ascii(rez::extension_of(name)); }

EntryPreview text_preview(const std::string& name, std::string text, std::string summary) {
    EntryPreview p;
    p.name = name;
    p.text = std::move(text);
    p.summary = std::move(summary);
    return p;
}

EntryPreview build(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string ext = lower_extension(name);
    const uint64_t stored = bytes.size();

    // An LZMA-alone frame around any entry is taken off first; a frame that does not
    // decode is shown as it is stored.
    std::vector<uint8_t> unpacked;
    bool unpacked_ok = false;
    if (rez::is_lzma_alone_header(bytes.data(), bytes.size()))
        unpacked_ok = rez::lzma_decode(bytes.data(), bytes.size(), unpacked, kLzmaOutputLimit, 0, false);
    const std::vector<uint8_t>& payload = unpacked_ok ? unpacked : bytes;
    const std::string tag = payload.size() != stored ? " / LZMA" : "";
    const ImageContext image_context{name, tag, stored};

    if (ext == "png")
        if (auto p = describe_image(decode_image_wic(payload), "PNG", "PNG", image_context)) return std::move(*p);
    if (ext == "dtx")
        if (auto p = describe_image(decode_dtx_texture(payload), "DTX texture", "DTX", image_context))
            return std::move(*p);
    if (ext == "tga")
        if (auto p = describe_image(decode_tga(payload), "TGA image", "TGA", image_context)) return std::move(*p);

    if (ext == "dat") {
        const WorldPreview world = preview_lithtech_world(payload);
        if (world.ok)
            return text_preview(name, world_preview_text(world, name, stored), "DAT World" + tag + ": " + world.title);
        if (auto t = convert_game_dat_to_text(payload, name))
            return text_preview(name, std::move(t->text), "DAT Text" + tag + ": " + t->label);
    }
    if (ext == "bin" && is_bin_table_entry(name, ext)) {
        if (auto t = preview_bin_table(payload, name))
            return text_preview(name, std::move(t->text), "BIN" + tag + ": " + t->label);
    }
    if (ext == "ltc") {
        if (auto t = decode_ltc_preview(payload, name))
            return text_preview(name, std::move(t->text), "LTC" + tag + ": " + t->label + " / " + t->encoding);
    }

    if (is_enc_entry(name, ext)) {
        std::vector<uint8_t> decoded;
        if (base64_decode(payload, decoded))
            if (auto t = decode_text_auto(decoded))
                return text_preview(name, std::move(t->first),
                                    "ENC Base64" + tag + " / " + t->second + " / " + number(stored) + " -> " +
                                        number(decoded.size()) + " bytes");
    }

    if (is_other_game_format(name, ext))
        if (auto t = preview_other_game_format(payload, name, ext))
            return text_preview(name, std::move(t->text), "Resource" + tag + ": " + t->label);

    if (ext == "cfg")
        if (auto c = decode_enc_text(payload, name, stored))
            return text_preview(name, std::move(c->text), std::move(c->summary));

    if (!ext.empty() && !is_text_extension(ext))
        return text_preview(name, rez::hex_dump(payload.data(), payload.size(), kHexDumpBytes),
                            "Binary (" + ext + ")" + tag + ", " + number(stored) + " bytes");

    if (auto t = decode_text_auto(payload))
        return text_preview(name, std::move(t->first), t->second + tag + ", " + number(stored) + " bytes");

    return text_preview(name, rez::vector_to_string(payload), "Latin1" + tag + ", " + number(stored) + " bytes");
}

// When a decoder runs out of memory the entry is still shown, as the first bytes in hex.
EntryPreview fallback(const std::string& name, const std::vector<uint8_t>& bytes) {
    EntryPreview p;
    try {
        p.name = name;
        const std::string ext = lower_extension(name);
        p.summary = "Binary (" + ext + "), " + number(bytes.size()) + " bytes";
        p.text = rez::hex_dump(bytes.data(), bytes.size(), kHexDumpBytes);
    } catch (...) {
        // Nothing more can be built; the caller still gets a valid (if thin) record.
    }
    return p;
}

}  // namespace

std::optional<EntryPreview> describe_image(std::optional<DecodedImage> image, const std::string& label,
                                           const std::string& kind, const ImageContext& context) {
    if (!image) return std::nullopt;
    const std::string size = number(image->width) + "x" + number(image->height);
    EntryPreview p;
    p.name = context.name;
    p.text = label + " image: " + size;
    p.summary = kind + context.lzma_tag + " / " + size + "px / " + number(context.stored_size) + " bytes";
    p.is_image = true;
    p.image = std::move(image);
    return p;
}

EntryPreview build_entry_preview(const std::string& name_utf8, const std::vector<uint8_t>& bytes) {
    try {
        return build(name_utf8, bytes);
    } catch (...) {
        return fallback(name_utf8, bytes);
    }
}

}  // namespace rezui
