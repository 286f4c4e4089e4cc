// Code-page conversion: the platform's converter where it knows the code page, our own
// GB18030 decoder where it does not (Wine 8 lacks 54936). Used by the text detection of
// the previews and by the ZIP comment decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rez {

constexpr unsigned kCodePageGb18030 = 54936;

// Bytes in a Windows code page to UTF-16. strict: fails on any invalid sequence;
// otherwise invalid sequences become the replacement the code page uses. False, with out
// empty, when the conversion fails or the code page is not available.
bool codepage_to_wide(const uint8_t* data, size_t size, unsigned code_page, bool strict, std::wstring& out);

// The first byte of the code page's default character, or -1 when it is not known.
int codepage_default_char(unsigned code_page);

}  // namespace rez
