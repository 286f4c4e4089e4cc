#include "app/app_state.h"


namespace rezui {

AppState app;

int side_panel_width = 300;
bool splitter_dragging = false;
std::atomic<bool> task_running{false};
bool archive_unlocked = false;
bool headless = false;
std::atomic<std::shared_ptr<OpenPwdRequest>> pending_password_request;
HWND current_modeless_dialog = nullptr;

}  // namespace rezui
