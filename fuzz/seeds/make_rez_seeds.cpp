// Writes the REZ seeds with the archive library's own writer: a game-layout archive with
// nested folders and a comment, the same in the engine layout, an empty one; and the root
// directory block of each as a seed of the block parser harness.
// Usage: make_rez_seeds <content folder> <rez_file seed folder> <rez_block seed folder>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace {

std::wstring widen(const std::string& s) { return rez::from_utf8(s); }

rez::Entry file_entry(const std::string& stem, const std::string& ext, uint32_t id,
                      const std::wstring& source) {
    rez::Entry e;
    e.name = stem;
    e.ext = ext;
    e.id = id;
    e.source_path = source;
    return e;
}

rez::Entry folder(const std::string& name, std::vector<rez::Entry> children) {
    rez::Entry e;
    e.is_dir = true;
    e.name = name;
    e.children = std::move(children);
    return e;
}

bool save(const std::wstring& path, rez::Entry root, const std::wstring& comment) {
    rez::RezFile model;
    model.root = std::move(root);
    model.comment = comment;
    std::wstring err;
    if (!model.save(path, err)) {
        std::fprintf(stderr, "make_rez_seeds: %s\n", rez::to_utf8(err).c_str());
        return false;
    }
    return true;
}

// The root block of a saved archive, unscrambled and scrambled again at a small phase.
bool block_seed(const std::wstring& archive, bool engine, uint8_t phase, const std::wstring& out) {
    std::vector<uint8_t> file;
    if (!rez::read_file(archive, file) || file.size() < rez::kRezHeaderSize) return false;
    const uint32_t pos = rez::load_u32le(file.data() + 131);
    const uint32_t len = rez::load_u32le(file.data() + 135);
    if (pos > file.size() || len > file.size() - pos) return false;
    std::vector<uint8_t> block(file.begin() + pos, file.begin() + pos + len);
    if (!engine) {
        rez::rez_crypto_decode(block.data(), block.size(), pos);
        rez::rez_crypto_encode(block.data(), block.size(), phase);
    }
    block.insert(block.begin(), static_cast<uint8_t>(phase << 1 | (engine ? 1 : 0)));
    return rez::write_file(out, block.data(), block.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_rez_seeds <content folder> <rez_file seeds> <rez_block seeds>\n");
        return 2;
    }
    const std::wstring content = widen(argv[1]) + L"/";
    const std::wstring files = widen(argv[2]) + L"/";
    const std::wstring blocks = widen(argv[3]) + L"/";

    auto tree = [&] {
        return folder(
            "",
            {file_entry("README", "TXT", 10000001, content + L"a.txt"),
             folder("WORLDS", {file_entry("MAP", "DAT", 10000002, content + L"b.bin"), folder("EMPTY", {}),
                               folder("DEEP", {file_entry("X", "LTC", 10000003, content + L"a.txt")})}),
             file_entry("NOEXT", "", 10000004, content + L"b.bin")});
    };
    bool ok = save(files + L"game.rez", tree(), L"") &&
              save(files + L"commented.rez", tree(), L"注释 comment") &&
              save(files + L"engine.rez", tree(), L"") && save(files + L"empty.rez", folder("", {}), L"");
    ok = ok && block_seed(files + L"game.rez", false, 0, blocks + L"game_root") &&
         block_seed(files + L"commented.rez", false, 77, blocks + L"game_root_phase77") &&
         block_seed(files + L"engine.rez", true, 0, blocks + L"engine_root");
    return ok ? 0 : 1;
}
