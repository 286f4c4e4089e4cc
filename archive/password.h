// The one process-wide password with which the ZIP and 7z readers decrypt.
#pragma once

#include <mutex>
#include <string>

namespace rez {

// Guarded by current_password_mutex; use the two functions below rather than the raw value.
extern std::wstring current_password;
extern std::mutex current_password_mutex;

void set_current_password(const std::wstring& password);
// A copy taken under the lock, read at the moment of each decryption.
std::wstring get_current_password();

}  // namespace rez
