// Shared by the ZIP/7z job tests: copies of the fixtures in a scratch folder, waiting for a
// job (and the reopen that follows a rewrite), the password prompt scripted from a list, a
// private temporary folder, and the members of an archive read back.
#pragma once

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/common/small_dialogs.h"
#include "app/operations/open_archive.h"
#include "app/operations/zip_7z_rewrite.h"
#include "archive/password.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace zjtest {

inline std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"app\\" + name); }

inline std::wstring copy_fixture(const qvltest::ScratchDir& dir, const std::wstring& name,
                                 const std::wstring& as) {
    const std::wstring copy = dir / as;
    CopyFileW(fx(name).c_str(), copy.c_str(), FALSE);
    return copy;
}

using h4test::wait_idle;

// Opened, and this very file is the archive shown.
inline bool open_and_wait(const std::wstring& path) {
    return h4test::open_and_wait(path) && rezui::app.archive.path == path;
}

using qvltest::bytes_of;
using qvltest::write_text;

// Names in a folder that a rewrite leaves behind only when it went wrong.
inline std::vector<std::wstring> rewrite_leftovers(const std::wstring& folder) {
    std::vector<std::wstring> out;
    for (const std::wstring& n : qvltest::folder_names(folder))
        if (n.find(L".tmp_qvl_") != std::wstring::npos || n.find(L".bak_qvl_") != std::wstring::npos)
            out.push_back(n);
    return out;
}

// Every file member (names ASCII lower-cased) with its content, read with the given password;
// empty when the archive cannot be read with it.
inline std::map<std::string, std::string> members_of(const std::wstring& path, const std::wstring& password = L"") {
    const std::wstring held = rez::get_current_password();
    rez::set_current_password(password);
    std::map<std::string, std::string> out;
    std::wstring comment, err;
    const bool ok = rezui::walk_file_members(
        path, rezui::archive_ext_lower(path), comment, nullptr,
        [&out](size_t, size_t, const std::string& name, std::vector<uint8_t>& data, std::wstring&) {
            out[rez::to_lower_ascii(name)] = std::string(data.begin(), data.end());
            return true;
        },
        err);
    rez::set_current_password(held);
    if (!ok) out.clear();
    return out;
}

// Answers the password prompts (dialog 214) from a list (an empty answer or the end of the
// list cancels) and records the prompt texts and titles shown.
struct PasswordScript {
    std::vector<std::wstring> answers;
    std::vector<std::wstring> prompts;
    std::vector<std::wstring> titles;
    PasswordScript() {
        h4test::dialog_script = [this](int id, DLGPROC) -> INT_PTR {
            EXPECT_EQ(id, IDD_PASSWORD_PROMPT);
            if (id != IDD_PASSWORD_PROMPT) return 0;
            prompts.push_back(*rezui::pwd_prompt_text);
            titles.push_back(*rezui::pwd_prompt_title);
            if (answers.empty() || answers.front().empty()) return 0;
            *rezui::pwd_prompt_result = answers.front();
            answers.erase(answers.begin());
            return 1;
        };
    }
    ~PasswordScript() { h4test::dialog_script = nullptr; }
};

// The temporary folder of the job tests.
struct PrivateTemp : qvltest::PrivateTemp {
    PrivateTemp() : qvltest::PrivateTemp(L"zjtmp") {}
};

using h4test::log_has;

inline std::vector<std::wstring> box_captions() {
    std::vector<std::wstring> out;
    for (const h4test::Box& b : h4test::boxes) out.push_back(b.caption);
    return out;
}

}  // namespace zjtest
