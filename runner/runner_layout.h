// The two layouts of the runner window: the six-page install wizard and the one-page
// extractor, and the wizard's pages.
#pragma once

#include <windows.h>

namespace rezui {

// Client sizes of the two layouts.
constexpr int kWizardWidth = 500, kWizardHeight = 370;
constexpr int kOnePageWidth = 575, kOnePageHeight = 470;

// Builds the layout the settings ask for and shows its start.
void create_runner_controls(HWND window);
// Shows wizard page 0..5 (welcome, licence, folder, ready, installing, finished).
void show_wizard_page(HWND window, int page);
// The main button's text and state on the current page.
void update_wizard_buttons(HWND window);

}  // namespace rezui
