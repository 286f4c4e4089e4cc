// Where a drag-out of archive entries landed: the folder of the Explorer window, the
// desktop, or a folder icon under the cursor in either. The drop itself is cancelled at
// release, so the program finds the folder on its own through the shell's window list and
// folder views. User-interface thread only.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "archive/win_handle.h"

namespace rezui {

// Filled by the list's subclass (arming) and by the drop source at release; read by the
// folder search below.
struct DragOutState {
    bool armed = false;
    int arm_x = 0;
    int arm_y = 0;
    POINT drop_point{};               // screen coordinates at release
    HWND explorer_window = nullptr;   // "CabinetWClass" / "ExploreWClass" under the point
    bool on_desktop = false;          // "Progman" / "WorkerW" under the point
    HWND folder_view = nullptr;       // first "SHELLDLL_DefView" met on the way up
    bool target_seen = false;         // released over Explorer or the desktop
};

extern DragOutState drag_state;

// Walks from the window under the drop point up through its parents and notes what it
// meets in drag_state (explorer window, folder view, on-desktop; all cleared first). True,
// with target_seen set, when an Explorer window or the desktop was reached.
bool note_drop_window(HWND window);

// The folder the drop landed in; empty when none (nothing may then be written).
std::wstring find_drop_folder();
// The folder the Explorer window of drag_state shows; empty when none.
std::wstring explorer_folder_at();
// "file:///C:/a%20b" -> "C:/a b"; empty when the location is not a local file URL.
std::wstring file_url_to_path(const std::wstring& url);
// The area around an icon position (view coordinates divided by the display scale) that
// counts as a hit on that icon.
RECT icon_hit_box(POINT item_position, double scale);
// The folder icon of the view's list under the point (screen coordinates); empty when no
// folder icon lies there.
std::wstring probe_desktop_icon(HWND list_view, POINT screen_point, const std::wstring& base);
// The active view of one shell window; true when one was obtained (it replaces view).
bool active_shell_view(IDispatch* window, rez::com_ptr<IShellView>& view);

}  // namespace rezui
