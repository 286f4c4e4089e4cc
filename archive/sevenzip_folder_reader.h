// The files of one 7z folder, read in order for whole-archive extraction. A folder that is a
// single LZMA or LZMA2 coder is decoded through a window (its dictionary plus a few MiB), so
// each file is written as it is decoded and a large solid folder never lies in memory whole;
// any other folder is decoded whole, as a single member read does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "archive/lzma_window.h"
#include "archive/sevenzip_reader.h"

namespace rez {

// Where a file of a folder lies in the folder's output, and its stored CRC.
struct SevenZipPlace {
    uint64_t start = 0;
    uint64_t size = 0;
    bool crc_defined = false;
    uint32_t crc = 0;
};

// The places of every file of a folder, in folder order (empty for a folder index that the
// header gives no files).
std::vector<SevenZipPlace> sevenzip_folder_places(const SevenZipDatabase& db, uint64_t folder);

class SevenZipFolderReader {
public:
    // The output decoded between two moves of the window.
    static constexpr size_t kWindowStep = size_t{8} << 20;

    // Checks the folder's input and prepares its decoding; messages as sevenzip_unpack_folder.
    bool open(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder, std::wstring& err,
              size_t step = kWindowStep);
    // The folder's output size.
    uint64_t size() const { return size_; }
    // The largest piece() that can be asked for.
    size_t piece_limit() const;
    // The output bytes [from, from + size) as one piece, valid until the next call. Asked for in
    // folder order, they cost one decode of the folder; an earlier start decodes it again.
    bool piece(uint64_t from, size_t size, const uint8_t*& data, std::wstring& err);
    // The same bytes, any number of them, handed to sink in order. A sink that answers false
    // stops it: false with err untouched.
    bool pump(uint64_t from, uint64_t size, const std::function<bool(const uint8_t*, size_t)>& sink,
              std::wstring& err);

private:
    bool pump_ahead(uint64_t from, uint64_t size, const std::function<bool(const uint8_t*, size_t)>& sink,
                    std::wstring& err);
    bool start_window(std::wstring& err);
    bool decode_whole(std::wstring& err);

    const SevenZipFolder* folder_ = nullptr;
    const uint8_t* packed_ = nullptr;
    size_t packed_length_ = 0;
    size_t step_ = kWindowStep;
    bool lzma2_ = false;
    bool windowed_ = false;
    LzmaWindow window_;
    std::vector<uint8_t> whole_;
    uint64_t size_ = 0;
};

}  // namespace rez
