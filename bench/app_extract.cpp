// Whole-archive extraction as a process, for bench/extract_vs_7z.sh:
//   app_extract <archive> <target>             extract-all through the program's own job
//                                              code: the ZIP/7z extraction job, or for a
//                                              REZ archive the open and extract-all job steps
//   app_extract --floor <list> <blob> <target> the same files written by a plain loop:
//                                              create, write (from the blob, read in turn
//                                              through one reused buffer), close
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
    rez::FileHandle blob(CreateFileW(blob_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!blob) return fail("open blob", blob_path);
    // One reused piece buffer, as a streaming copy has: fresh memory is not what is measured.
    constexpr size_t kPiece = 4 << 20;
    std::unique_ptr<uint8_t[]> piece(new uint8_t[kPiece]);
    std::set<std::wstring> made;
    size_t at = 0;
    while (at < list.size()) {
        size_t end = at;
        while (end < list.size() && list[end] != '\n') end++;
        const std::string line(list.begin() + static_cast<ptrdiff_t>(at), list.begin() + static_cast<ptrdiff_t>(end));
        at = end + 1;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        size_t left = std::stoull(line.substr(tab + 1));
        const std::wstring path = target + L"\\" + rez::from_utf8(line.substr(0, tab));
        const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
        if (made.insert(parent).second) rez::create_directories(parent);
        rez::FileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return fail("create", path);
        while (left > 0) {
            const DWORD want = static_cast<DWORD>(std::min(left, kPiece));
            DWORD got = 0, put = 0;
            if (!ReadFile(blob.get(), piece.get(), want, &got, nullptr) || got != want) return fail("read blob", blob_path);
            if (!WriteFile(out.get(), piece.get(), got, &put, nullptr) || put != got) return fail("write", path);
            left -= got;
        }
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
