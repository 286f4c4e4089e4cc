// Writing the open archive back after an edit.
#pragma once

namespace rezui {

// Saves the open archive over its own file on a worker after an edit of its model (nothing
// while busy, with no archive or one without a path). A ZIP/7z model asks for the archive's
// password first when the held one does not read it.
void start_autosave();

}  // namespace rezui
