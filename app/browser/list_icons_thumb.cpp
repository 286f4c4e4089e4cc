// Thumbnails of texture files (PNG, DTX, TGA) for the list, decoded with the preview
// dispatcher and cached by the row's key.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "app/app_state.h"
#include "app/browser/list_icons.h"
#include "app/browser/preview_pane.h"
#include "archive/util.h"
#include "decode/preview.h"

namespace rezui {

namespace {

// Bigger files are not read just to draw a 64-pixel picture; their row keeps the
// extension's icon.
constexpr uint64_t kMaxThumbnailSource = 128ull << 20;

// Pixels of a decoded picture that really hold width x height x 4 bytes, or null.
const std::vector<uint8_t>* usable_pixels(const EntryPreview& preview, int& w, int& h) {
    if (!preview.is_image || !preview.image) return nullptr;
    const DecodedImage& img = *preview.image;
    // Never trust the size fields alone: the buffer must hold every pixel.
    if (!picture_fits_buffer(img.width, img.height, img.pixels.size())) return nullptr;
    w = static_cast<int>(img.width);
    h = static_cast<int>(img.height);
    return &img.pixels;
}

}  // namespace

int texture_thumbnail_icon(const std::wstring& cache_key, const std::string& name, const std::wstring& disk_path,
                           const rez::Entry* entry) {
    auto hit = thumb_cache.find(cache_key);
    if (hit != thumb_cache.end()) return hit->second;

    std::vector<uint8_t> bytes;
    if (!disk_path.empty()) {
        rez::FileHandle file(CreateFileW(disk_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxThumbnailSource)
            return -1;
        if (!rez::read_all(file, bytes)) return -1;
    } else if (entry) {
        if (entry->size > kMaxThumbnailSource) return -1;
        std::wstring err;
        if (!app.archive.read_entry_data(*entry, bytes, err)) return -1;
    } else {
        return -1;
    }

    const EntryPreview preview = build_entry_preview(name, bytes);
    int w = 0, h = 0;
    const std::vector<uint8_t>* pixels = usable_pixels(preview, w, h);
    if (!pixels) return -1;

    std::vector<uint8_t> small(kSmallIconSize * kSmallIconSize * 4);
    box_downscale(pixels->data(), w, h, small.data(), kSmallIconSize, kSmallIconSize);
    std::vector<uint8_t> large(64 * 64 * 4);
    thumbnail_64(pixels->data(), w, h, large.data());
    HICON small_icon = icon_from_pixels(small.data(), kSmallIconSize, kSmallIconSize);
    HICON large_icon = icon_from_pixels(large.data(), 64, 64);
    int index = -1;
    if (small_icon && large_icon && app.small_images && app.large_images) {
        index = ImageList_GetImageCount(app.small_images);
        ImageList_AddIcon(app.small_images, small_icon);
        ImageList_AddIcon(app.large_images, large_icon);
        thumb_cache[cache_key] = index;
    }
    if (small_icon) DestroyIcon(small_icon);
    if (large_icon) DestroyIcon(large_icon);
    return index;
}

}  // namespace rezui
