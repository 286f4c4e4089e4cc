#include "archive/replace_file.h"

#include <windows.h>

#include "archive/temp_note.h"
#include "archive/util.h"

namespace rez {

bool write_file_replacing(const std::wstring& path, const uint8_t* data, size_t length) {
    // Process and thread in the name: two writers of the same archive never share a temp file.
    const std::wstring temp = temp_name_beside(path);
    const TempFileNote note(temp);
    if (!write_file(temp, data, length) || !move_file_replace(temp, path)) {
        delete_file(temp);
        return false;
    }
    return true;
}

}  // namespace rez
