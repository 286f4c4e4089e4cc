// Previewing one entry of the open archive: read its bytes, hand them to the preview
// dispatcher and show the text, table or picture it returns.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/browser/preview_pane.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"
#include "archive/util.h"
#include "decode/preview.h"
#include "decode/text_decode.h"

namespace rezui {

namespace {

void show(HWND wnd, bool on) {
    if (wnd) ShowWindow(wnd, on ? SW_SHOW : SW_HIDE);
}

// A top-down 32-bit bitmap of the picture, or null.
HBITMAP make_picture_bitmap(const DecodedImage& img) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = static_cast<LONG>(img.width);
    bi.bmiHeader.biHeight = -static_cast<LONG>(img.height);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bmp) return nullptr;
    if (!bits) {
        DeleteObject(bmp);
        return nullptr;
    }
    std::memcpy(bits, img.pixels.data(), static_cast<size_t>(img.width) * img.height * 4);
    return bmp;
}

void set_picture(HBITMAP bmp) {
    HBITMAP previous = preview_bitmap;
    preview_bitmap = bmp;
    if (app.preview_image) {
        HBITMAP held = reinterpret_cast<HBITMAP>(
            SendMessageW(app.preview_image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp)));
        // The control may have kept a copy of its own; ours is deleted below.
        if (held && held != previous && held != bmp) DeleteObject(held);
    }
    if (previous && previous != bmp) DeleteObject(previous);
}

}  // namespace

bool picture_fits_buffer(uint32_t width, uint32_t height, size_t buffer_size) {
    if (width == 0 || height == 0) return false;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    // width * height * 4 <= buffer_size, without computing a product that may overflow.
    return static_cast<uint64_t>(width) <= buffer_size / 4 / height;
}

void preview_entry(const std::string& archive_path) {
    if (!app.archive_loaded || app.busy) return;
    const rez::Entry* e = app.archive.find_entry(archive_path);
    if (!e || e->is_dir) return;
    std::vector<uint8_t> bytes;
    std::wstring err;
    if (!app.archive.read_entry_data(*e, bytes, err)) {
        message_box(app.main_window, err, L"读取失败", MB_ICONERROR);
        return;
    }
    const std::string name = e->name_with_ext();
    const EntryPreview preview = build_entry_preview(name, bytes);
    append_log(L"Decode: " + rez::from_utf8(name) + L" -> " + rez::from_utf8(preview.summary));
    set_status_bar_text(rez::from_utf8(preview.summary));

    bool table = false;
    if (rez::iequals_ascii(e->ext, "CSV")) {
        OptionalTextPair decoded = decode_text_auto(bytes.data(), bytes.size());
        if (decoded) table = show_table_preview(decoded->first, true);
    } else if (rez::iequals_ascii(e->ext, "CFT")) {
        table = show_table_preview(preview.text, false);
    } else {
        reset_preview_table();
    }
    set_preview_tabs(rez::from_utf8(name));

    if (table) {
        preview_is_table = true;
        preview_is_image = false;
        show(app.preview_table, true);
        show(app.preview_edit, false);
        show(app.preview_image, false);
    } else {
        show(app.preview_table, false);
        preview_is_table = false;
        const bool picture = preview.is_image && preview.image &&
                             picture_fits_buffer(preview.image->width, preview.image->height, preview.image->pixels.size());
        if (picture) {
            preview_is_image = true;
            set_picture(make_picture_bitmap(*preview.image));
            show(app.preview_edit, false);
            show(app.preview_image, true);
        } else {
            preview_is_image = false;
            if (app.preview_edit) SetWindowTextW(app.preview_edit, rez::from_utf8(to_crlf(preview.text)).c_str());
            show(app.preview_edit, true);
            show(app.preview_image, false);
        }
    }
    show_side_panel();
    if (app.preview_tabs) {
        SendMessageW(app.preview_tabs, TCM_SETCURSEL, 1, 0);
        show_preview_tab();
    }
}

}  // namespace rezui
