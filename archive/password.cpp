#include "archive/password.h"

namespace rez {

std::wstring current_password;
std::mutex current_password_mutex;

void set_current_password(const std::wstring& password) {
    std::lock_guard<std::mutex> lock(current_password_mutex);
    current_password = password;
}

std::wstring get_current_password() {
    std::lock_guard<std::mutex> lock(current_password_mutex);
    return current_password;
}

}  // namespace rez
