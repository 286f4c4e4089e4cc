#include "archive/sevenzip_folder_reader.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace rez {

std::vector<SevenZipPlace> sevenzip_folder_places(const SevenZipDatabase& db, uint64_t folder) {
    std::vector<SevenZipPlace> places;
    if (folder >= db.folders.size()) return places;
    uint64_t first = 0;
    for (uint64_t i = 0; i < folder; i++) first += db.folders[static_cast<size_t>(i)].unpack_stream_count;
    const uint64_t count = db.folders[static_cast<size_t>(folder)].unpack_stream_count;
    uint64_t start = 0;
    for (uint64_t sub = first; sub < first + count && sub < db.substream_sizes.size(); sub++) {
        SevenZipPlace p;
        p.start = start;
        p.size = db.substream_sizes[static_cast<size_t>(sub)];
        p.crc_defined = sub < db.substream_crc_defined.size() && db.substream_crc_defined[static_cast<size_t>(sub)];
        p.crc = sub < db.substream_crcs.size() ? db.substream_crcs[static_cast<size_t>(sub)] : 0;
        places.push_back(p);
        start += p.size;
        if (start < p.size) break;  // sizes that overflow: the later files cannot be placed
    }
    return places;
}

bool SevenZipFolderReader::open(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder,
                                std::wstring& err, size_t step) {
    folder_ = nullptr;
    windowed_ = false;
    whole_.clear();
    whole_.shrink_to_fit();
    size_ = 0;
    step_ = step;
    if (!sevenzip_folder_input(file, db, folder, packed_, packed_length_, err)) return false;
    folder_ = &db.folders[static_cast<size_t>(folder)];
    if (sevenzip_folder_is_one_lzma(*folder_, lzma2_)) return start_window(err);
    return decode_whole(err);
}

bool SevenZipFolderReader::start_window(std::wstring& err) {
    const SevenZipCoder& coder = folder_->coders[0];
    if (!window_.start(lzma2_, coder.properties.data(), coder.properties.size(), packed_, packed_length_,
                       folder_->unpack_sizes[0], step_)) {
        err = sevenzip_decode_failure(*folder_);
        return false;
    }
    windowed_ = true;
    size_ = folder_->unpack_sizes[0];
    return true;
}

bool SevenZipFolderReader::decode_whole(std::wstring& err) {
    windowed_ = false;
    if (!sevenzip_decode_folder_span(*folder_, packed_, packed_length_, whole_)) {
        err = sevenzip_decode_failure(*folder_);
        return false;
    }
    size_ = whole_.size();
    return true;
}

size_t SevenZipFolderReader::piece_limit() const { return windowed_ ? window_.piece_limit() : whole_.size(); }

bool SevenZipFolderReader::piece(uint64_t from, size_t size, const uint8_t*& data, std::wstring& err) {
    data = nullptr;
    if (!folder_ || from > size_ || size > size_ - from) {
        err = L"7z 子流大小不匹配";
        return false;
    }
    if (windowed_) {
        // Going back means decoding from the start again.
        if (from < window_.earliest() && !start_window(err)) return false;
        const LzmaWindow::Result r = window_.view(from, size, data);
        if (r == LzmaWindow::Result::kOk) return true;
        // A stream reaching further back than its stated dictionary is unusual but decodes:
        // the folder is then decoded whole, and what was handed out already is the same.
        if (r != LzmaWindow::Result::kBeyondWindow || !decode_whole(err)) {
            if (r != LzmaWindow::Result::kBeyondWindow) err = sevenzip_decode_failure(*folder_);
            return false;
        }
        if (from > size_ || size > size_ - from) {
            err = L"7z 子流大小不匹配";
            return false;
        }
    }
    data = whole_.data() + from;
    return true;
}

namespace {

// Pieces small enough that the sink (a CRC, a file write) finds them still in the cache.
constexpr size_t kPumpPiece = size_t{1} << 20;

}  // namespace

bool SevenZipFolderReader::pump(uint64_t from, uint64_t size, const std::function<bool(const uint8_t*, size_t)>& sink,
                                std::wstring& err) {
    if (size > 2 * kPumpPiece) {
        try {
            return pump_ahead(from, size, sink, err);
        } catch (const std::system_error&) {
            // No second thread: the pieces are decoded and handed over in turn.
        }
    }
    while (size > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, std::clamp<size_t>(piece_limit(), 1, kPumpPiece)));
        const uint8_t* data = nullptr;
        if (!piece(from, n, data, err)) return false;
        if (!sink(data, n)) return false;
        from += n;
        size -= n;
    }
    return true;
}

// A second thread decodes one piece ahead into the free one of two slots while the caller's
// sink works on the other, so the decoding of a large file overlaps its CRC and its writing.
// Only the decoding thread touches the reader while it runs; the sink runs on the caller's.
bool SevenZipFolderReader::pump_ahead(uint64_t from, uint64_t size,
                                      const std::function<bool(const uint8_t*, size_t)>& sink, std::wstring& err) {
    struct Slot {
        std::vector<uint8_t> bytes;
        size_t n = 0;
    };
    Slot slots[2];
    slots[0].bytes.resize(kPumpPiece);
    slots[1].bytes.resize(kPumpPiece);
    std::mutex lock;
    std::condition_variable changed;
    int ready = 0;  // slots filled and not yet handed back
    bool failed = false, stop = false;
    std::wstring decode_err;

    std::thread decoder([&, from, size]() mutable {
        int k = 0;
        while (size > 0) {
            {
                std::unique_lock<std::mutex> g(lock);
                changed.wait(g, [&] { return ready < 2 || stop; });
                if (stop) return;
            }
            const size_t n = static_cast<size_t>(
                std::min<uint64_t>(size, std::clamp<size_t>(piece_limit(), 1, kPumpPiece)));
            const uint8_t* data = nullptr;
            std::wstring e;
            bool ok = false;
            try {
                ok = piece(from, n, data, e);
            } catch (const std::bad_alloc&) {
                // Falling back to a whole decode can ask for more memory than there is; an
                // exception must not leave this thread.
                e = L"内存不足，无法解压 7z 文件夹";
            }
            if (ok) {
                std::copy(data, data + n, slots[k].bytes.data());
                slots[k].n = n;
            }
            {
                std::lock_guard<std::mutex> g(lock);
                if (ok) {
                    ready++;
                } else {
                    failed = true;
                    decode_err = e;
                }
            }
            changed.notify_all();
            if (!ok) return;
            k ^= 1;
            from += n;
            size -= n;
        }
    });

    bool ok = true;
    int k = 0;
    for (uint64_t left = size; left > 0;) {
        {
            std::unique_lock<std::mutex> g(lock);
            changed.wait(g, [&] { return ready > 0 || failed; });
            if (ready == 0) {
                err = decode_err;
                ok = false;
                break;
            }
        }
        if (!sink(slots[k].bytes.data(), slots[k].n)) {
            ok = false;
            break;
        }
        left -= slots[k].n;
        k ^= 1;
        {
            std::lock_guard<std::mutex> g(lock);
            ready--;
        }
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> g(lock);
        stop = true;
    }
    changed.notify_all();
    decoder.join();
    return ok;
}

}  // namespace rez
