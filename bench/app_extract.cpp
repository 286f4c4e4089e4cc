// Whole-archive extraction as a process, for bench/extract_vs_7z.sh:
//   app_extract <archive> <target>             extract-all through the program's own job
//                                              code: the ZIP/7z extraction job, or for a
//                                              REZ archive the open and extract-all job steps
//   app_extract --floor <list> <blob> <target> the same files written by a plain loop: one
//                                              read of the blob, then create, write, close
//   app_extract --pack-rez <folder> <out.rez>  packs a folder into a REZ archive (fixtures)
// The list holds one "relative\path<TAB>size" line per file, the blob their bytes in order.
// Paths may be given as /unix/paths. Exit code 0 on success.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "app/main_window/task_ui.h"
#include "app/operations/zip_7z_rewrite.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "bench/host_path.h"

namespace {

std::wstring arg_path(const char* arg) { return host_path(rez::from_utf8(arg).c_str()); }

int fail(const char* what, const std::wstring& err) {
    std::printf("%s failed: %s\n", what, rez::to_utf8(err).c_str());
    return 1;
}

int extract_all(const std::wstring& archive, const std::wstring& target) {
    const std::string ext = rez::to_lower_ascii(rez::extension_of(rez::to_utf8(archive)));
    std::wstring err;
    if (ext == "zip" || ext == "7z") {
        if (!rezui::extraction_job(target, archive, ext, {}, true, err)) return fail("extract", err);
        return 0;
    }
    // What opening a REZ archive and its extract-all job do, without the window.
    rez::RezFile model;
    if (!rez::RezFile::open(archive, model, err)) return fail("open", err);
    if (!model.extract_to_directory(target, err, rezui::post_progress)) return fail("extract", err);
    return 0;
}

int floor_loop(const std::wstring& list_path, const std::wstring& blob_path, const std::wstring& target) {
    std::vector<uint8_t> list;
    if (!rez::read_file(list_path, list)) return fail("read list", list_path);
    rez::FileHandle blob_file(CreateFileW(blob_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER blob_size{};
    if (!blob_file || !GetFileSizeEx(blob_file.get(), &blob_size)) return fail("open blob", blob_path);
    const size_t total = static_cast<size_t>(blob_size.QuadPart);
    std::unique_ptr<uint8_t[]> blob(new uint8_t[total + 1]);
    for (size_t done = 0; done < total;) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(total - done, rez::kIoChunk));
        if (!ReadFile(blob_file.get(), blob.get() + done, want, &got, nullptr) || got == 0)
            return fail("read blob", blob_path);
        done += got;
    }
    std::set<std::wstring> made;
    size_t at = 0, offset = 0;
    while (at < list.size()) {
        size_t end = at;
        while (end < list.size() && list[end] != '\n') end++;
        const std::string line(list.begin() + static_cast<ptrdiff_t>(at), list.begin() + static_cast<ptrdiff_t>(end));
        at = end + 1;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const size_t size = std::stoull(line.substr(tab + 1));
        const std::wstring path = target + L"\\" + rez::from_utf8(line.substr(0, tab));
        const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
        if (made.insert(parent).second) rez::create_directories(parent);
        if (size > total - offset) return fail("list", L"sizes exceed the blob");
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return fail("create", path);
        DWORD put = 0;
        const bool ok = size == 0 || (WriteFile(h, blob.get() + offset, static_cast<DWORD>(size), &put, nullptr) &&
                                      put == size);
        CloseHandle(h);
        if (!ok) return fail("write", path);
        offset += size;
    }
    return 0;
}

int pack_rez(const std::wstring& folder, const std::wstring& out) {
    rez::RezFile model;
    std::wstring err;
    if (!model.add_directory_contents_to_root(folder, err)) return fail("pack", err);
    if (!model.save(out, err)) return fail("save", err);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--floor" && argc == 5) return floor_loop(arg_path(argv[2]), arg_path(argv[3]), arg_path(argv[4]));
    if (mode == "--pack-rez" && argc == 4) return pack_rez(arg_path(argv[2]), arg_path(argv[3]));
    if (argc == 3 && mode.rfind("--", 0) != 0) return extract_all(arg_path(argv[1]), arg_path(argv[2]));
    std::printf("usage: app_extract <archive> <target> | --floor <list> <blob> <target> | --pack-rez <folder> <out>\n");
    return 2;
}
