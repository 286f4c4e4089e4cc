// The virtual-folder picker (208) run from its real template, modeless so the test can
// click its buttons: where it opens, what OK returns, and the new-folder button.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common/small_dialogs.h"
#include "app/operations/vdir_picker.h"
#include "archive/rez_model.h"
#include "main_window_fixture.h"
#include "resources/resource.h"

namespace {

rez::Entry folder(const std::string& name, std::vector<rez::Entry> children = {}) {
    rez::Entry e;
    e.is_dir = true;
    e.name = name;
    e.children = std::move(children);
    return e;
}

rez::Entry file(const std::string& name) {
    rez::Entry e;
    e.name = name;
    e.ext = "TXT";
    return e;
}

// Textures\Sub, Maps and a file at the root, shown at the given folder.
void show_model(const std::wstring& current) {
    rez::RezFile model;
    model.root.children = {folder("Textures", {folder("Sub"), file("t")}), file("x"), folder("Maps")};
    rezui::app.archive = model;
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::app.current_folder = current;
}

// The picker as the user sees it, with the result slot pointed at result.
struct Picker {
    HWND dialog = nullptr;
    std::wstring result = L"<untouched>";
    explicit Picker(HWND owner) {
        rezui::vdir_result = &result;
        dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VDIR_PICKER), owner,
                                    rezui::vdir_pick_proc, 0);
        ShowWindow(dialog, SW_SHOW);
    }
    ~Picker() {
        DestroyWindow(dialog);
        rezui::vdir_result = nullptr;
    }
    HWND tree() const { return GetDlgItem(dialog, IDC_VDIR_TREE); }
    std::wstring selected_path() const {
        const rezui::VdirNode* n = rezui::vdir_node(tree(), TreeView_GetSelection(tree()));
        return n ? n->path : L"<none>";
    }
    void click(int id) const {
        HWND button = GetDlgItem(dialog, id);
        RECT rc{};
        GetClientRect(button, &rc);
        const LPARAM at = MAKELPARAM(rc.right / 2, rc.bottom / 2);
        SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(button, WM_LBUTTONUP, 0, at);
        h4test::pump();
    }
    std::vector<std::wstring> children_of(HTREEITEM item) const {
        std::vector<std::wstring> names;
        for (HTREEITEM c = TreeView_GetChild(tree(), item); c; c = TreeView_GetNextSibling(tree(), c))
            names.push_back(rezui::vdir_node(tree(), c)->name);
        return names;
    }
};

TEST(VdirPicker, SplitKeepsEmptyPieces) {
    using V = std::vector<std::wstring>;
    const struct {
        const wchar_t* path;
        V pieces;
    } cases[] = {{L"", {}},
                 {L"a", {L"a"}},
                 {L"a\\b", {L"a", L"b"}},
                 {L"a\\\\b", {L"a", L"", L"b"}},
                 {L"\\a", {L"", L"a"}},
                 {L"a\\", {L"a", L""}}};
    for (const auto& c : cases) EXPECT_EQ(rezui::split_vdir_path(c.path), c.pieces) << rez::to_utf8(c.path);
}

TEST(VdirPicker, OpensAtTheCurrentFolderEvenInAnotherCaseAndOkReturnsIt) {
    h4test::MainWindow w;
    show_model(L"textures\\SUB");
    Picker p(w.hwnd());
    ASSERT_NE(p.dialog, nullptr);
    HTREEITEM root = TreeView_GetRoot(p.tree());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(rezui::vdir_node(p.tree(), root)->name, L"(根目录)");
    EXPECT_EQ(p.children_of(root), (std::vector<std::wstring>{L"Textures", L"Maps"}));  // files are left out
    EXPECT_EQ(p.selected_path(), L"Textures\\Sub");
    p.click(IDOK);
    EXPECT_EQ(p.result, L"Textures\\Sub");
    EXPECT_FALSE(IsWindowVisible(p.dialog));
    // Every node was freed when the dialog ended.
    std::function<bool(HTREEITEM)> all_freed = [&](HTREEITEM item) {
        for (; item; item = TreeView_GetNextSibling(p.tree(), item))
            if (rezui::vdir_node(p.tree(), item) || !all_freed(TreeView_GetChild(p.tree(), item))) return false;
        return true;
    };
    EXPECT_TRUE(all_freed(root));
}

TEST(VdirPicker, RootGivesAnEmptyPathAndAMissingFolderStopsAtWhatMatched) {
    h4test::MainWindow w;
    show_model(L"Textures\\nope");
    Picker p(w.hwnd());
    EXPECT_EQ(p.selected_path(), L"Textures");
    TreeView_SelectItem(p.tree(), TreeView_GetRoot(p.tree()));
    p.click(IDC_VDIR_CURRENT);  // back to the browser's folder (as far as it exists)
    EXPECT_EQ(p.selected_path(), L"Textures");
    TreeView_SelectItem(p.tree(), TreeView_GetRoot(p.tree()));
    p.click(IDOK);
    EXPECT_EQ(p.result, L"");
}

TEST(VdirPicker, NewFolderButtonRefusesBadNamesAndAddsAGoodOne) {
    h4test::MainWindow w;
    rez::uppercase_rez_names = false;
    show_model(L"Textures");
    Picker p(w.hwnd());
    static std::wstring answer;
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        if (id != IDD_INPUT_TEXT) return 0;
        EXPECT_EQ(*rezui::input_prompt, L"请输入新文件夹名称：");
        EXPECT_EQ(*rezui::input_text, L"新建文件夹");
        *rezui::input_text = answer;
        return 1;
    };
    HTREEITEM textures = TreeView_GetSelection(p.tree());
    const struct {
        const wchar_t* name;
        const wchar_t* message;
    } refused[] = {{L"a/b", L"目录名中不能包含下列字符：\\ / : * ? \" < > |"},
                   {L"q?", L"目录名中不能包含下列字符：\\ / : * ? \" < > |"},
                   {L"..", L"无法创建目录（名称无效或已存在）：.."},
                   {L"sub", L"无法创建目录（名称无效或已存在）：sub"}};
    for (const auto& c : refused) {
        h4test::boxes.clear();
        answer = c.name;
        p.click(IDC_VDIR_NEW);
        ASSERT_EQ(h4test::boxes.size(), 1u) << rez::to_utf8(c.name);
        EXPECT_EQ(h4test::boxes[0].text, c.message);
        EXPECT_EQ(h4test::boxes[0].caption, L"错误");
        EXPECT_EQ(p.children_of(textures), std::vector<std::wstring>{L"Sub"});
        EXPECT_EQ(rezui::app.archive.find_entry_const("Textures")->children.size(), 2u);
    }

    h4test::boxes.clear();
    answer = L"New";
    p.click(IDC_VDIR_NEW);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(p.children_of(textures), (std::vector<std::wstring>{L"Sub", L"New"}));
    EXPECT_EQ(p.selected_path(), L"Textures\\New");
    const rez::Entry* made = rezui::app.archive.find_entry_const("Textures\\New");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->is_dir);
    // Cancel returns nothing; the folder stays in the model.
    p.click(IDCANCEL);
    EXPECT_EQ(p.result, L"<untouched>");
    EXPECT_FALSE(IsWindowVisible(p.dialog));
    EXPECT_NE(rezui::app.archive.find_entry_const("Textures\\New"), nullptr);
    h4test::dialog_script = nullptr;
}

}  // namespace
