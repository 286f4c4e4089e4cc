// LumbrelTarget: the drop target Explorer creates for a REZ file. It learns the archive's
// path through IPersistFile::Load and, on Drop, starts Quarvel.exe with --add-to-rez.
#pragma once

#include <windows.h>

namespace rezui {

// A new target (no archive yet) queried for riid; freed again when the query fails.
HRESULT create_drop_target(REFIID riid, void** ppv);

}  // namespace rezui
