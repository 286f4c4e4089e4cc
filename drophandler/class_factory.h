// RezClassFactory: makes LumbrelTarget objects for COM.
#pragma once

#include <windows.h>

namespace rezui {

// A new factory queried for riid; the factory is freed again when the query fails.
HRESULT create_target_factory(REFIID riid, void** ppv);

}  // namespace rezui
