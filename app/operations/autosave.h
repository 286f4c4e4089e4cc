// Writing the open archive back after an edit.
#pragma once

namespace rezui {

// Saves the open archive over its own file on a worker after an edit of its model.
void start_autosave();

}  // namespace rezui
