// Temporary files written beside a user's files (a save's "<archive>.tmp_qvl_<pid>_<tid>")
// cannot be found again by a later start once the process that wrote them was killed. While
// one exists, a small note in the temporary folder names it ("qvl_tmpnote_<pid>_<n>.txt");
// the next start of the program reads the notes of processes that no longer run and removes
// the files they name.
#pragma once

#include <string>

namespace rez {

// "<path>.tmp_qvl_<pid>_<thread id>": the name of a file written beside `path` and then
// moved over it; the ids keep two writers of one file (two processes, two jobs) apart.
std::wstring temp_name_beside(const std::wstring& path);

// Notes the temporary file for as long as the object lives; the owner removes the file
// itself (or moves it into place) before the note goes.
class TempFileNote {
public:
    explicit TempFileNote(const std::wstring& temp_file);
    ~TempFileNote();
    TempFileNote(const TempFileNote&) = delete;
    TempFileNote& operator=(const TempFileNote&) = delete;

private:
    std::wstring note_;
};

// Whether `file_name` (no folder) is a temporary name written by process `pid`:
// "<anything>.tmp_qvl_<pid>" optionally followed by "_<digits>".
bool is_temp_name_of(const std::wstring& file_name, unsigned long pid);

// For a note of a process that no longer runs: removes the file it names when that file
// carries the process's temporary name (never anything else), then the note. True when the
// note is gone.
bool clear_stale_note(const std::wstring& note_path, unsigned long pid);

}  // namespace rez
