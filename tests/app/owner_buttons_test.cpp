#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include "app/common/dialog_look.h"
#include "app/common/owner_buttons.h"
#include "resources/resource.h"

using rezui::button_colours;

TEST(OwnerButtons, CornerRadiusByHeight) {
    const struct {
        int height, radius;
    } cases[] = {{10, 4}, {22, 4}, {23, 5}, {31, 5}, {32, 6}, {60, 6}};
    for (const auto& c : cases) EXPECT_EQ(rezui::button_corner_radius(c.height), c.radius) << c.height;
}

TEST(OwnerButtons, BaseColourByExactCaption) {
    const struct {
        const wchar_t* caption;
        COLORREF colour;
    } cases[] = {{L"暂停", 0x66D6FF},   {L"继续", 0xA0DC8C}, {L"停止", 0x9696F5},
                 {L"清空日志", 0xF5C8AA}, {L"暂停 ", 0xECE5E1}, {L"确定", 0xECE5E1}, {nullptr, 0xECE5E1}};
    for (const auto& c : cases) EXPECT_EQ(rezui::button_base_colour(c.caption), c.colour);
}

TEST(OwnerButtons, ColoursByState) {
    COLORREF stop = 0x9696F5;  // r 0xF5, g 0x96, b 0x96
    auto disabled = button_colours(stop, false, true, true);
    EXPECT_EQ(disabled.top, 0xF5F5F5u);
    EXPECT_EQ(disabled.bottom, 0xECECECu);
    EXPECT_EQ(disabled.border, 0xD2D2D2u);
    EXPECT_EQ(disabled.text, 0xA0A0A0u);
    EXPECT_FALSE(disabled.shadow);
    // Pressed wins over hot: darker body, no shadow. darken(v, f) = v - v * f, truncated.
    auto pressed = button_colours(stop, true, true, true);
    EXPECT_FALSE(pressed.shadow);
    EXPECT_EQ(pressed.top, RGB(static_cast<int>(0xF5 - 0xF5 * 0.18), static_cast<int>(0x96 - 0x96 * 0.18),
                               static_cast<int>(0x96 - 0x96 * 0.18)));
    EXPECT_EQ(pressed.text, 0x1E1E1Eu);
    auto hot = button_colours(stop, true, true, false);
    EXPECT_TRUE(hot.shadow);
    EXPECT_EQ(hot.bottom, stop);
    EXPECT_EQ(hot.text, 0x141414u);
    EXPECT_EQ(hot.top, RGB(static_cast<int>(0xF5 + (255 - 0xF5) * 0.08), static_cast<int>(0x96 + (255 - 0x96) * 0.08),
                           static_cast<int>(0x96 + (255 - 0x96) * 0.08)));
    auto normal = button_colours(stop, true, false, false);
    EXPECT_TRUE(normal.shadow);
    EXPECT_EQ(normal.border, RGB(static_cast<int>(0xF5 - 0xF5 * 0.18), static_cast<int>(0x96 - 0x96 * 0.18),
                                 static_cast<int>(0x96 - 0x96 * 0.18)));
}

TEST(OwnerButtons, DialogButtonsGetTheLookAndLeaveNoEntryBehind) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    auto make = [&](DWORD style) {
        return CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | WS_VISIBLE | style, 0, 0, 50, 22, parent, nullptr,
                               nullptr, nullptr);
    };
    HWND push = make(BS_PUSHBUTTON);
    HWND def = make(BS_DEFPUSHBUTTON);
    HWND check = make(BS_AUTOCHECKBOX);
    HWND drawn = make(BS_OWNERDRAW);
    EnumChildWindows(parent, rezui::owner_draw_buttons_cb, 0);
    EXPECT_EQ(GetWindowLongPtrW(push, GWL_STYLE) & 0x0F, BS_OWNERDRAW);
    EXPECT_EQ(GetWindowLongPtrW(def, GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);  // default button keeps its look
    EXPECT_EQ(GetWindowLongPtrW(check, GWL_STYLE) & 0x0F, BS_AUTOCHECKBOX);
    EXPECT_EQ(rezui::button_states.count(push), 1u);
    EXPECT_EQ(rezui::button_states.count(def), 1u);
    EXPECT_EQ(rezui::button_states.count(check), 0u);
    EXPECT_EQ(rezui::button_states.count(drawn), 0u);

    // Hover tracking, then destruction while hot.
    SendMessageW(push, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(rezui::button_states[push].hot);
    SendMessageW(push, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_TRUE(rezui::button_states[push].pressed);
    DestroyWindow(parent);
    EXPECT_EQ(rezui::button_states.count(push), 0u);
    EXPECT_EQ(rezui::button_states.count(def), 0u);
}

TEST(OwnerButtons, DialogColoursAnswerOnlyTheirMessages) {
    HDC dc = GetDC(nullptr);
    INT_PTR result = 0;
    EXPECT_TRUE(rezui::dialog_ctlcolor(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0, &result));
    EXPECT_EQ(result, reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH)));
    EXPECT_TRUE(rezui::dialog_ctlcolor(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0, &result));
    EXPECT_EQ(result, reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE)));
    result = 77;
    EXPECT_FALSE(rezui::dialog_ctlcolor(WM_CTLCOLORSCROLLBAR, reinterpret_cast<WPARAM>(dc), 0, &result));
    DRAWITEMSTRUCT menu_item{};
    menu_item.CtlType = ODT_MENU;
    EXPECT_FALSE(rezui::dialog_ctlcolor(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menu_item), &result));
    EXPECT_EQ(result, 77);
    ReleaseDC(nullptr, dc);
}

namespace {

INT_PTR CALLBACK looks_proc(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (rezui::dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    return message == WM_INITDIALOG;
}

}  // namespace

// The rounded face left its corners to whatever the surface held: black on a fresh or
// resized window. Painted into a black bitmap, as a new surface is, the corners must show
// the face colour of the window behind them.
TEST(OwnerButtons, RoundedButtonsPaintTheirCornersInTheFaceColour) {
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WIZARD), nullptr, looks_proc, 0);
    ASSERT_NE(dialog, nullptr);
    rezui::apply_dialog_look(dialog);
    for (int id : {IDC_WIZ_BACK, IDCANCEL, IDC_WIZ_ADD_FILES}) {
        HWND button = GetDlgItem(dialog, id);
        ASSERT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & 0x0F, BS_OWNERDRAW) << id;
        RECT rc{};
        GetClientRect(button, &rc);
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, rc.right, rc.bottom);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(mem, bitmap);
        FillRect(mem, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        // The lower right corner carries the shadow.
        for (POINT p : {POINT{0, 0}, POINT{rc.right - 1, 0}, POINT{0, rc.bottom - 1}})
            EXPECT_EQ(GetPixel(mem, p.x, p.y), face) << "button " << id << " corner " << p.x << "," << p.y;
        SelectObject(mem, old);
        DeleteObject(bitmap);
        DeleteDC(mem);
    }
    DestroyWindow(dialog);
}
