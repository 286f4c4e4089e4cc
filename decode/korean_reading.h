// Whether a text read through code page 949 is plausibly Korean. Code page 949 also accepts
// most GB2312 byte pairs, so Chinese text read through it gives a text too: one of rare
// Hangul syllables mixed with many Hanja, where Korean gives mostly everyday syllables.
#pragma once

#include <string>

namespace rezui {

// True when more than half of the Hangul syllables and CJK ideographs of the UTF-8 text are
// Hangul syllables of everyday Korean, and when the text holds neither.
bool plausible_korean_reading(const std::string& utf8);

}  // namespace rezui
