// Writing the browsing model of a ZIP or 7z archive back as an archive file: the model is
// unpacked into a private work folder (members read from the archive, added or replaced
// entries from their disk files) and packed anew through the temporary-file-and-backup
// rewrite, keeping an encrypted archive encrypted with the held password.
#pragma once

#include <string>

#include "archive/rez_model.h"

namespace rezui {

// User-interface thread, before the job: makes sure the held password reads the model's
// archive. False when the user declined or gave up (the status bar says so).
bool member_model_save_may_start(const std::wstring& archive_path);

// Worker side: writes model as a ZIP or 7z archive (by target's extension) at target.
// Progress and cancel through post_progress. The work folder is gone afterwards, whatever
// the outcome, and a failure leaves an existing target untouched.
bool save_member_model(rez::RezFile& model, const std::wstring& target, std::wstring& err);

}  // namespace rezui
