// The main window's menu bar, its toolbar with the pictures from the program's PNG
// resources, and the keyboard accelerators.
#include <windows.h>

#include <commctrl.h>
#include <wincodec.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/main_window.h"
#include "archive/win_handle.h"
#include "resources/resource.h"

namespace rezui {
namespace {

// WICBitmapInterpolationModeHighQualityCubic; older SDK headers lack the name.
constexpr auto kHighQualityCubic = static_cast<WICBitmapInterpolationMode>(4);

void append_items(HMENU menu, std::initializer_list<std::pair<int, const wchar_t*>> items) {
    for (const auto& [id, text] : items) {
        if (id == 0)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text);
    }
}

}  // namespace

void create_toolbar(HWND window) {
    HWND tb = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                              WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0,
                              window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)),
                              GetModuleHandleW(nullptr), nullptr);
    app.toolbar = tb;
    if (!tb) return;
    SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(tb, TB_SETBUTTONSIZE, 0, MAKELPARAM(64, 70));
    SendMessageW(tb, TB_SETBUTTONWIDTH, 0, MAKELPARAM(64, 64));
    SendMessageW(tb, TB_SETPADDING, 0, MAKELPARAM(2, 6));
    SendMessageW(tb, TB_SETMAXTEXTROWS, 1, 0);
    HIMAGELIST images = ImageList_Create(48, 48, ILC_COLOR32 | ILC_MASK, 16, 0);
    const struct {
        int png, command;
        const wchar_t* text;
    } buttons[] = {{IDP_TB_ADD, IDM_ADD_FILES, L"添加"},
                   {IDP_TB_EXTRACT, IDM_EXTRACT_ALL, L"解压到"},
                   {IDP_TB_TEST, IDM_TEST, L"测试"},
                   {IDP_TB_VIEW, IDM_VIEW_DEFAULT, L"查看"},
                   {IDP_TB_DELETE, IDM_REMOVE, L"删除"},
                   {IDP_TB_FIND, IDM_FIND, L"查找"},
                   {IDP_TB_WIZARD, IDM_WIZARD, L"向导"},
                   {IDP_TB_INFO, IDM_ARCHIVE_INFO, L"信息"},
                   {0, 0, nullptr},
                   {IDP_TB_COMMENT, IDM_COMMENT, L"注释"},
                   {IDP_TB_SFX, IDM_SFX, L"自解压"}};
    HMODULE module = GetModuleHandleW(nullptr);
    std::vector<TBBUTTON> tbb;
    int image = 0;
    for (const auto& b : buttons) {
        TBBUTTON t = {};
        if (!b.command) {
            t.fsStyle = BTNS_SEP;
            tbb.push_back(t);
            continue;
        }
        HICON icon = load_toolbar_icon(module, b.png);
        if (images) {
            ImageList_AddIcon(images, icon ? icon : LoadIconW(nullptr, IDI_APPLICATION));
        }
        if (icon) DestroyIcon(icon);
        t.iBitmap = image++;
        t.idCommand = b.command;
        t.fsState = TBSTATE_ENABLED;
        t.fsStyle = BTNS_BUTTON;
        t.iString = reinterpret_cast<INT_PTR>(b.text);
        tbb.push_back(t);
    }
    SendMessageW(tb, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    SendMessageW(tb, TB_ADDBUTTONSW, tbb.size(), reinterpret_cast<LPARAM>(tbb.data()));
    SendMessageW(tb, TB_AUTOSIZE, 0, 0);
}

HMENU build_main_menu() {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    append_items(file, {{IDM_OPEN, L"打开(&O)...\tCtrl+O"},
                        {IDM_WIZARD, L"压缩/解压向导(&W)...\tCtrl+W"},
                        {IDM_SAVE, L"保存(&S)\tCtrl+S"},
                        {0, nullptr},
                        {IDM_EXIT, L"退出(&X)"}});
    HMENU ops = CreatePopupMenu();
    append_items(ops, {{IDM_EXTRACT_ALL, L"解压全部(&E)"},
                       {IDM_EXTRACT_SELECTED, L"解压选中(&L)"},
                       {0, nullptr},
                       {IDM_NEW_ARCHIVE, L"新建压缩(&C)"},
                       {IDM_SFX, L"自解压包(&X)"},
                       {IDM_CONVERT, L"格式转换(&T)"},
                       {IDM_PACK_ONE, L"压缩单文件(&U)"},
                       {0, nullptr},
                       {IDM_ADD_FILES, L"添加文件(&A)"},
                       {IDM_ADD_FOLDER, L"添加目录(&D)"},
                       {IDM_REPLACE_CONTENT, L"替换内容(&R)"},
                       {IDM_REPLACE_FILES, L"替换文件(&F)"},
                       {IDM_REMOVE, L"删除(&D)"},
                       {IDM_RENAME, L"重命名(&N)"}});
    HMENU view = CreatePopupMenu();
    append_items(view, {{IDM_VIEW_TREE, L"树形显示(&T)\tCtrl+1"},
                        {IDM_VIEW_LIST, L"列表显示(&L)\tCtrl+2"},
                        {0, nullptr},
                        {IDM_LARGE_ICONS, L"大图标(&G)"},
                        {IDM_DETAILS, L"详细信息(&D)"},
                        {0, nullptr},
                        {IDM_UP, L"上一级(&U)\tBackspace"},
                        {IDM_DESKTOP, L"桌面(&D)"},
                        {IDM_REFRESH, L"刷新(&R)\tF5"},
                        {0, nullptr},
                        {IDM_SIDE_PANEL, L"注释面板(&P)"}});
    HMENU tools = CreatePopupMenu();
    append_items(tools, {{IDM_FIND, L"查找(&F)...\tCtrl+F"},
                         {0, nullptr},
                         {IDM_ARCHIVE_INFO, L"文件信息(&I)"},
                         {IDM_COMMENT, L"注释(&M)..."},
                         {IDM_ENTRY_DETAILS, L"查看条目详情(&E)"},
                         {0, nullptr},
                         {IDM_SETTINGS, L"程序设置(&S)..."}});
    app.tools_menu = tools;
    HMENU window_menu = CreatePopupMenu();
    append_items(window_menu, {{IDM_HIDE_TO_TRAY, L"隐藏到托盘(&H)"}});
    HMENU help = CreatePopupMenu();
    append_items(help, {{IDM_ABOUT, L"关于(&A)\tF1"}});
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件(&F)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(ops), L"操作(&O)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"视图(&V)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), L"工具(&T)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(window_menu), L"窗口(&W)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"帮助(&H)");
    return bar;
}

HICON load_toolbar_icon(HMODULE module, int resource_id) {
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(resource_id), L"PNG");
    if (!res) return nullptr;
    DWORD size = SizeofResource(module, res);
    HGLOBAL loaded = LoadResource(module, res);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!size || !bytes) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block) return nullptr;
    void* dst = GlobalLock(block);
    if (!dst) {
        GlobalFree(block);
        return nullptr;
    }
    memcpy(dst, bytes, size);
    GlobalUnlock(block);
    rez::com_ptr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, stream.put()))) {
        GlobalFree(block);
        return nullptr;
    }
    rez::com_ptr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.put_void())))
        return nullptr;
    rez::com_ptr<IWICBitmapDecoder> decoder;
    rez::com_ptr<IWICBitmapFrameDecode> frame;
    rez::com_ptr<IWICBitmapScaler> scaler;
    rez::com_ptr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                                decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        (FAILED(scaler->Initialize(frame.get(), 48, 48, kHighQualityCubic)) &&
         FAILED(scaler->Initialize(frame.get(), 48, 48, WICBitmapInterpolationModeCubic))) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return nullptr;
    std::vector<BYTE> pixels(48 * 48 * 4);
    if (FAILED(converter->CopyPixels(nullptr, 192, static_cast<UINT>(pixels.size()), pixels.data())))
        return nullptr;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        unsigned a = pixels[i + 3];
        if (a < 255)
            for (int c = 0; c < 3; ++c) pixels[i + c] = static_cast<BYTE>(pixels[i + c] * a / 255);
    }
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 48;
    bi.bmiHeader.biHeight = -48;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    rez::unique_hbitmap colour(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!colour || !bits) return nullptr;
    memcpy(bits, pixels.data(), pixels.size());
    rez::unique_hbitmap mask(CreateBitmap(48, 48, 1, 1, nullptr));
    if (!mask) return nullptr;
    ICONINFO ii = {};
    ii.fIcon = TRUE;
    ii.hbmColor = colour.get();
    ii.hbmMask = mask.get();
    return CreateIconIndirect(&ii);
}

HACCEL build_accelerators() {
    ACCEL table[] = {
        {FVIRTKEY | FCONTROL, 'O', IDM_OPEN},
        {FVIRTKEY | FCONTROL, 'W', IDM_WIZARD},
        {FVIRTKEY | FCONTROL, 'S', IDM_SAVE},
        {FVIRTKEY | FCONTROL, 'F', IDM_FIND},
        {FVIRTKEY, VK_F1, IDM_ABOUT},
        {FVIRTKEY, VK_F5, IDM_REFRESH},
        {FVIRTKEY, VK_BACK, IDM_UP},
        {FVIRTKEY | FCONTROL, '1', IDM_VIEW_TREE},
        {FVIRTKEY | FCONTROL, '2', IDM_VIEW_LIST},
        {FVIRTKEY, VK_DELETE, IDM_LOCAL_DELETE},
        {FVIRTKEY, VK_F2, IDM_LOCAL_RENAME},
        {FVIRTKEY | FCONTROL, 'A', IDM_SELECT_ALL},
        {FVIRTKEY | FALT, VK_RETURN, IDM_LOCAL_NOTEPAD},
        {FVIRTKEY | FCONTROL, 'C', IDM_LOCAL_COPY},
        {FVIRTKEY | FCONTROL, 'V', IDM_LOCAL_PASTE},
    };
    return CreateAcceleratorTableW(table, static_cast<int>(std::size(table)));
}

}  // namespace rezui
