// The image lists of the tree and list views: shell icons per folder, per extension and
// per self-iconed file, and thumbnails of texture files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "archive/rez_model.h"

namespace rezui {

constexpr int kSmallIconSize = 16;
constexpr int kLargeIconSize = 64;
// Further unknown extensions share the generic file icon once this many keys are cached.
constexpr size_t kIconCacheLimit = 512;

extern std::map<std::wstring, int> icon_cache;
extern std::map<std::wstring, int> thumb_cache;

void init_image_lists();
// Forgets the thumbnails (another archive opened: display paths repeat across archives).
void clear_thumbnail_cache();

std::wstring icon_key(const std::wstring& name_or_path, bool is_dir);
int icon_index(const std::wstring& name_or_path, bool is_dir, bool attributes_only);
HICON shell_icon(const std::wstring& path, int size, uint32_t file_attributes, uint32_t extra_flags);
HICON fit_icon(HICON icon, int size);

// Pixels are 32-bit BGRA rows, top row first.
void box_downscale(const uint8_t* src, int src_w, int src_h, uint8_t* dst, int dst_w, int dst_h);
HICON icon_from_pixels(const uint8_t* pixels, int w, int h);
// out holds 64 * 64 * 4 bytes.
void thumbnail_64(const uint8_t* src, int w, int h, uint8_t* out);
int texture_thumbnail_icon(const std::wstring& cache_key, const std::string& name, const std::wstring& disk_path,
                           const rez::Entry* entry);

}  // namespace rezui
