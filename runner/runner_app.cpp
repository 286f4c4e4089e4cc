#include "runner/runner_app.h"

#include <commctrl.h>
#include <objbase.h>

#include <vector>

#include "archive/util.h"
#include "runner/banner.h"
#include "runner/runner_state.h"
#include "runner/runner_window.h"

namespace rezui {

namespace {

// The temporary archive belongs to this process; whatever way the run ends, it goes. While
// the extraction thread still reads it the delete fails, and the main program's start-up
// removes the leftover once this process has ended.
struct TempArchiveGuard {
    ~TempArchiveGuard() {
        if (!g_runner.temp_archive.empty()) DeleteFileW(g_runner.temp_archive.c_str());
    }
};

HFONT make_font(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei UI");
}

void take_settings(const SfxPayload& payload) {
    g_runner.config = payload.config;
    g_runner.temp_archive = payload.temp_archive;
    g_runner.is_installer = payload.config.mode == "installer";
    if (!g_runner.config.image_base64.empty()) {
        const std::vector<uint8_t> bytes = base64_decode(g_runner.config.image_base64);
        if (!bytes.empty())
            g_runner.banner.reset(decode_banner_image(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                                      g_runner.banner_width, g_runner.banner_height));
    }
    g_runner.shortcut_offered = g_runner.config.create_shortcut;
}

void make_gdi_objects() {
    g_runner.icon = LoadIconW(g_runner.instance, MAKEINTRESOURCEW(1));
    g_runner.font_normal.reset(make_font(-13, FW_NORMAL));
    g_runner.font_title.reset(make_font(-19, FW_SEMIBOLD));
    g_runner.font_heading.reset(make_font(-15, FW_SEMIBOLD));
    g_runner.brush_panel.reset(CreateSolidBrush(RGB(136, 22, 22)));
    g_runner.brush_background.reset(CreateSolidBrush(RGB(255, 255, 255)));
}

void release_gdi_objects() {
    g_runner.font_normal.reset();
    g_runner.font_title.reset();
    g_runner.font_heading.reset();
    g_runner.brush_panel.reset();
    g_runner.brush_background.reset();
    g_runner.banner.reset();
}

void run_message_loop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (g_runner.main_window && IsDialogMessageW(g_runner.main_window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int run_runner(HINSTANCE instance, int show_command, const std::wstring& program_file) {
    g_runner = RunnerState{};
    g_runner.instance = instance;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto finish = [&](int code) {
        if (SUCCEEDED(com)) CoUninitialize();
        return code;
    };

    SfxPayload payload;
    if (program_file.empty() || !read_sfx(program_file, payload)) {
        // A container that is there but could not be unpacked says why, not that it is missing.
        const std::wstring text = payload.error.empty() ? std::wstring(kNoContainerText) : payload.error;
        MessageBoxW(nullptr, text.c_str(), kRunnerCaption, MB_OK | MB_ICONERROR);
        return finish(1);
    }
    int code = 1;
    {
        TempArchiveGuard temp_guard;
        g_runner.temp_archive = payload.temp_archive;
        std::wstring unusable;
        if (!sfx_config_showable(payload.config, unusable)) {
            MessageBoxW(nullptr, unusable.c_str(), kRunnerCaption, MB_OK | MB_ICONERROR);
            return finish(1);
        }
        take_settings(payload);
        make_gdi_objects();
        if (create_runner_window(show_command)) {
            run_message_loop();
            code = g_runner.finished ? 0 : 1;
        } else {
            MessageBoxW(nullptr, kNoWindowText, kRunnerCaption, MB_OK | MB_ICONERROR);
        }
        g_runner.main_window = nullptr;
        release_gdi_objects();
    }
    return finish(code);
}

int run_hobbleton(HINSTANCE instance, int show_command) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
    std::vector<wchar_t> path(1040, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const std::wstring own = n > 0 && n < path.size() ? std::wstring(path.data(), n) : L"";
    return run_runner(instance, show_command, own);
}

}  // namespace rezui
