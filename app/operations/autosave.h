// Writing the open archive back after an edit, and keeping track of edits not yet written.
#pragma once

#include <windows.h>

namespace rezui {

struct TaskResult;

// Saves the open archive over its own file on a worker after an edit of its model (nothing
// while busy, with no archive or one without a path). A ZIP/7z model asks for the archive's
// password first when the held one does not read it. The model counts as unsaved until a
// save of it succeeds.
void start_autosave();

// The model was changed: it stays marked unsaved until a save or autosave of it succeeds.
void mark_model_edited();

// A save or autosave ended: a successful one clears the unsaved mark; a save that leaving
// the program asked for lets the exit go on.
void note_save_result(HWND window, const TaskResult& result);

// Before leaving with unsaved edits, asks whether to save them (save / discard / cancel).
// True: leave now. False: stay; after "save" the exit goes on once the save has succeeded.
bool unsaved_changes_settled(HWND window);

}  // namespace rezui
