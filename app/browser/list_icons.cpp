// Shell icons of the tree and list views, cached per folder, extension or self-iconed
// file, and the pixel scaling behind the texture thumbnails.
#include "app/browser/list_icons.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "archive/util.h"

namespace rezui {

std::map<std::wstring, int> icon_cache;
std::map<std::wstring, int> thumb_cache;

namespace {

std::wstring lower_ascii(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

// A size x size 32-bit top-down DIB section cleared to 0, or null.
HBITMAP make_dib(int w, int h, void** bits) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (bmp && *bits) std::memset(*bits, 0, static_cast<size_t>(w) * h * 4);
    return bmp;
}

HICON icon_from_color_bitmap(HBITMAP color, int w, int h) {
    std::vector<uint8_t> zeros(static_cast<size_t>((w + 15) / 16) * 2 * h, 0);
    HBITMAP mask = CreateBitmap(w, h, 1, 1, zeros.data());
    if (!mask) return nullptr;
    ICONINFO ii{};
    ii.fIcon = TRUE;
    ii.hbmColor = color;
    ii.hbmMask = mask;
    HICON icon = CreateIconIndirect(&ii);
    DeleteObject(mask);
    return icon;
}

// Appends an icon to one list; when the lookup gave none, a copy of the list's own
// folder or file image, and as the last resort the stock information icon.
void append_icon(HIMAGELIST list, HICON icon, int fallback_index) {
    if (!list) {
        if (icon) DestroyIcon(icon);
        return;
    }
    if (!icon && ImageList_GetImageCount(list) > fallback_index)
        icon = ImageList_GetIcon(list, fallback_index, ILD_TRANSPARENT);
    if (icon) {
        ImageList_AddIcon(list, icon);
        DestroyIcon(icon);
    } else {
        ImageList_AddIcon(list, LoadIconW(nullptr, IDI_INFORMATION));
    }
}

void add_stock_or_shell(HIMAGELIST list, HICON icon, LPCWSTR stock) {
    if (icon) {
        ImageList_AddIcon(list, icon);
        DestroyIcon(icon);
    } else {
        ImageList_AddIcon(list, LoadIconW(nullptr, stock));
    }
}

}  // namespace

void init_image_lists() {
    if (app.small_images) ImageList_Destroy(app.small_images);
    if (app.large_images) ImageList_Destroy(app.large_images);
    app.small_images = ImageList_Create(kSmallIconSize, kSmallIconSize, ILC_COLOR32 | ILC_MASK, 8, 16);
    app.large_images = ImageList_Create(kLargeIconSize, kLargeIconSize, ILC_COLOR32 | ILC_MASK, 8, 16);
    icon_cache.clear();
    thumb_cache.clear();

    const UINT use_attrs = SHGFI_USEFILEATTRIBUTES;
    add_stock_or_shell(app.small_images, shell_icon(L"C:\\Windows", kSmallIconSize, FILE_ATTRIBUTE_DIRECTORY, use_attrs),
                       IDI_APPLICATION);
    add_stock_or_shell(app.large_images, shell_icon(L"C:\\Windows", kLargeIconSize, FILE_ATTRIBUTE_DIRECTORY, use_attrs),
                       IDI_APPLICATION);
    add_stock_or_shell(app.small_images, shell_icon(L"generic", kSmallIconSize, FILE_ATTRIBUTE_NORMAL, use_attrs),
                       IDI_INFORMATION);
    add_stock_or_shell(app.large_images, shell_icon(L"generic", kLargeIconSize, FILE_ATTRIBUTE_NORMAL, use_attrs),
                       IDI_INFORMATION);
    icon_cache[L"folder"] = 0;
    icon_cache[L"file"] = 1;

    if (app.tree_view)
        SendMessageW(app.tree_view, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(app.small_images));
    if (app.list_view) {
        // The window destroys these lists itself; the list view must not destroy them too.
        LONG_PTR style = GetWindowLongPtrW(app.list_view, GWL_STYLE);
        if (!(style & LVS_SHAREIMAGELISTS)) SetWindowLongPtrW(app.list_view, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
        SendMessageW(app.list_view, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(app.small_images));
        SendMessageW(app.list_view, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(app.large_images));
    }
}

void clear_thumbnail_cache() { thumb_cache.clear(); }

std::wstring icon_key(const std::wstring& name, bool is_dir) {
    if (is_dir) return L"folder";
    size_t dot = name.rfind(L'.');
    if (name.empty() || dot == std::wstring::npos || dot + 1 == name.size()) return L"file";
    std::wstring ext = lower_ascii(name.substr(dot));
    const bool real_path = name.find(L":\\") != std::wstring::npos || name.rfind(L"\\\\", 0) == 0;
    static const wchar_t* const own_icon[] = {L".lnk", L".exe", L".ico", L".scr", L".cpl", L".msc", L".appref-ms", L".url"};
    if (real_path)
        for (const wchar_t* e : own_icon)
            if (ext == e) return name;
    return ext;
}

int icon_index(const std::wstring& name, bool is_dir, bool attributes_only) {
    const std::wstring key = icon_key(name, is_dir);
    auto hit = icon_cache.find(key);
    if (hit != icon_cache.end()) return hit->second;
    const int n = app.small_images ? ImageList_GetImageCount(app.small_images) : 0;
    if (!is_dir && icon_cache.size() >= kIconCacheLimit) {
        auto file = icon_cache.find(L"file");
        if (file != icon_cache.end()) return file->second;
    }
    icon_cache[key] = n;
    const uint32_t attrs = is_dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    const uint32_t flags = attributes_only ? SHGFI_USEFILEATTRIBUTES : 0;
    append_icon(app.small_images, shell_icon(name, kSmallIconSize, attrs, flags), is_dir ? 0 : 1);
    append_icon(app.large_images, shell_icon(name, kLargeIconSize, attrs, flags), is_dir ? 0 : 1);
    return n;
}

HICON shell_icon(const std::wstring& given, int size, uint32_t file_attributes, uint32_t extra_flags) {
    std::wstring path = given;
    if (path.empty()) path = (file_attributes & FILE_ATTRIBUTE_DIRECTORY) ? L"C:\\Windows" : L"generic";
    SHFILEINFOW info{};
    UINT flags = SHGFI_ICON | extra_flags;
    if (size <= 32) flags |= SHGFI_SMALLICON;
    if (!SHGetFileInfoW(path.c_str(), file_attributes, &info, sizeof info, flags) || !info.hIcon) return nullptr;
    HICON fitted = fit_icon(info.hIcon, size);
    DestroyIcon(info.hIcon);
    return fitted;
}

HICON fit_icon(HICON icon, int size) {
    if (!icon || size < 1) return nullptr;
    ICONINFO ii{};
    if (!GetIconInfo(icon, &ii)) return nullptr;
    int w = 0, h = 0;
    BITMAP bm{};
    if (ii.hbmColor && GetObjectW(ii.hbmColor, sizeof bm, &bm)) {
        w = bm.bmWidth;
        h = bm.bmHeight;
    } else if (ii.hbmMask && GetObjectW(ii.hbmMask, sizeof bm, &bm)) {
        w = bm.bmWidth;
        h = bm.bmHeight / 2;
    }
    if (ii.hbmColor) DeleteObject(ii.hbmColor);
    if (ii.hbmMask) DeleteObject(ii.hbmMask);
    if (w <= 0 || h <= 0) return nullptr;
    if (w > size || h > size) {
        double scale = std::min(static_cast<double>(size) / w, static_cast<double>(size) / h);
        w = std::max(1, static_cast<int>(w * scale));
        h = std::max(1, static_cast<int>(h * scale));
    }
    void* bits = nullptr;
    HBITMAP color = make_dib(size, size, &bits);
    if (!color) return nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, color);
    DrawIconEx(dc, (size - w) / 2, (size - h) / 2, icon, w, h, 0, nullptr, DI_NORMAL);
    SelectObject(dc, old);
    DeleteDC(dc);
    HICON out = icon_from_color_bitmap(color, size, size);
    DeleteObject(color);
    return out;
}

void box_downscale(const uint8_t* src, int src_w, int src_h, uint8_t* dst, int dst_w, int dst_h) {
    if (!src || !dst || src_w < 1 || src_h < 1 || dst_w < 1 || dst_h < 1) return;
    for (int y = 0; y < dst_h; ++y) {
        const int64_t y0 = static_cast<int64_t>(y) * src_h / dst_h;
        const int64_t y1 = std::max<int64_t>(static_cast<int64_t>(y + 1) * src_h / dst_h, y0 + 1);
        for (int x = 0; x < dst_w; ++x) {
            const int64_t x0 = static_cast<int64_t>(x) * src_w / dst_w;
            const int64_t x1 = std::max<int64_t>(static_cast<int64_t>(x + 1) * src_w / dst_w, x0 + 1);
            uint64_t sum[4] = {0, 0, 0, 0};
            uint64_t count = 0;
            for (int64_t sy = y0; sy < y1 && sy < src_h; ++sy) {
                const uint8_t* p = src + (static_cast<size_t>(sy) * src_w + static_cast<size_t>(x0)) * 4;
                for (int64_t sx = x0; sx < x1 && sx < src_w; ++sx, p += 4) {
                    for (int c = 0; c < 4; ++c) sum[c] += p[c];
                    ++count;
                }
            }
            uint8_t* q = dst + (static_cast<size_t>(y) * dst_w + x) * 4;
            for (int c = 0; c < 4; ++c) q[c] = count ? static_cast<uint8_t>(sum[c] / count) : 0;
        }
    }
}

HICON icon_from_pixels(const uint8_t* pixels, int w, int h) {
    if (!pixels || w < 1 || h < 1) return nullptr;
    void* bits = nullptr;
    HBITMAP color = make_dib(w, h, &bits);
    if (!color) return nullptr;
    if (bits) std::memcpy(bits, pixels, static_cast<size_t>(w) * h * 4);
    HICON icon = icon_from_color_bitmap(color, w, h);
    DeleteObject(color);
    return icon;
}

void thumbnail_64(const uint8_t* src, int w, int h, uint8_t* out) {
    std::memset(out, 0, 64 * 64 * 4);
    if (!src || w < 1 || h < 1) return;
    int dst_w, dst_h;
    if (w <= h) {
        dst_h = 64;
        dst_w = std::max(1, static_cast<int>(w * 64.0 / h));
    } else {
        dst_w = 64;
        dst_h = std::max(1, static_cast<int>(h * 64.0 / w));
    }
    std::vector<uint8_t> scaled(static_cast<size_t>(dst_w) * dst_h * 4);
    box_downscale(src, w, h, scaled.data(), dst_w, dst_h);
    const int top = (64 - dst_h) / 2, left = (64 - dst_w) / 2;
    for (int y = 0; y < dst_h; ++y)
        std::memcpy(out + (static_cast<size_t>(top + y) * 64 + left) * 4, scaled.data() + static_cast<size_t>(y) * dst_w * 4,
                    static_cast<size_t>(dst_w) * 4);
}

}  // namespace rezui
