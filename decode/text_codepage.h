// The decoders name the shared code-page layer from their own namespace.
#pragma once

#include "archive/codepage.h"

namespace rezui {

using rez::codepage_default_char;
using rez::codepage_to_wide;
using rez::kCodePageGb18030;

}  // namespace rezui
