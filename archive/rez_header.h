// The two texts of a REZ file's 168-byte header, read and patched in place on disk without
// opening the archive: the signature text (bytes 2-61) and the user title (bytes 64-123).
#pragma once

#include <string>

namespace rez {

// Each text without its trailing NUL and space bytes. False with a reason in err.
bool read_rez_header_texts(const std::wstring& path, std::string& signature_text, std::string& user_title,
                           std::wstring& err);
// Writes both texts space-padded (cut at byte 60, even inside a UTF-8 sequence); no other
// byte of the file changes. False with a reason in err.
bool write_rez_header_texts(const std::wstring& path, const std::string& signature_text,
                            const std::string& user_title, std::wstring& err);

}  // namespace rez
