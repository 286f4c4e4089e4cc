#include <windows.h>

#include "runner/runner_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show_command) {
    return rezui::run_hobbleton(instance, show_command);
}
