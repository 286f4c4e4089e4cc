// The window moves forward by whole memmoves: when the bytes asked for do not fit, the
// dictionary's last bytes (or the asked-for bytes, if they begin earlier) go to the front.
// A move every `step` bytes of output copies at most a dictionary, which costs less than
// fresh memory for the whole output would.
#include "archive/lzma_window.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/lzma_internal.h"

namespace rez {

using lzma_detail::kCopySlack;
using lzma_detail::kMaxMatch;
using lzma_detail::Lzma2Chunk;
using lzma_detail::Stop;

struct LzmaWindow::State {
    bool lzma2 = false;
    lzma_detail::Model model;
    lzma_detail::Cursor cursor;
    std::vector<uint8_t> buf;  // grows to cap + kCopySlack as output arrives
    size_t cap = 0;            // window bytes
    size_t keep = 0;           // bytes kept behind the output when the window moves
    size_t step = 0;
    uint64_t base = 0;      // stream position of buf[0]
    size_t pos = 0;         // bytes held
    size_t dict_start = 0;  // buffer position, modulo 2^64 (see Run::dict_start)
    uint64_t total = 0;
    const uint8_t* in = nullptr;
    size_t in_length = 0;
    // The chunk being decoded: the raw stream is one chunk over the whole output.
    bool in_chunk = false;
    bool stored = false;
    uint64_t chunk_end = 0;
    const uint8_t* stored_from = nullptr;
    size_t next_chunk = 0;  // LZMA2: input offset of the next chunk header

    uint64_t decoded() const { return base + pos; }

    // Where output may run to before the window must move: the stream's end once it fits,
    // else a match's length short of the window's end.
    uint64_t room_end() const { return total - base <= cap ? total : base + cap - kMaxMatch; }

    // Moves the window so it begins at lo or a dictionary behind the output, whichever is
    // earlier (never backwards). False when that frees nothing.
    bool move(uint64_t lo) {
        const uint64_t behind = decoded() > keep ? decoded() - keep : 0;
        const uint64_t to = std::max(base, std::min(lo, behind));
        if (to == base) return false;
        const size_t shift = static_cast<size_t>(to - base);
        std::memmove(buf.data(), buf.data() + shift, pos - shift);
        pos -= shift;
        base = to;
        dict_start -= shift;  // wraps below zero on purpose
        return true;
    }

    Result next_lzma2_chunk() {
        const Lzma2Chunk c = lzma_detail::lzma2_chunk_at(in, in_length, next_chunk);
        if (c.kind != Lzma2Chunk::Kind::kStored && c.kind != Lzma2Chunk::Kind::kLzma) return Result::kError;
        // A stream longer than its stated size: a match may cross the stated end, which the
        // window has no room for. Decoded whole, it gives what the chunks say.
        if (c.unpacked > total - decoded()) return Result::kBeyondWindow;
        if (c.dict_reset) dict_start = pos;
        chunk_end = decoded() + c.unpacked;
        if (c.kind == Lzma2Chunk::Kind::kStored) {
            stored = true;
            stored_from = in + c.data_at;
            next_chunk = c.data_at + c.unpacked;
        } else {
            stored = false;
            if (c.new_properties) model.set_properties(c.properties);
            if (c.state_reset) model.reset();
            if (!lzma_detail::start(cursor, in + c.data_at, c.packed)) return Result::kError;
            next_chunk = c.data_at + c.packed;
        }
        in_chunk = true;
        return Result::kOk;
    }

    // Decodes until the output reaches target, which lies within room_end().
    Result decode_to(uint64_t target) {
        while (decoded() < target) {
            if (!in_chunk) {
                if (!lzma2) return Result::kError;
                const Result r = next_lzma2_chunk();
                if (r != Result::kOk) return r;
            }
            if (stored) {
                const size_t n = static_cast<size_t>(std::min(chunk_end, target) - decoded());
                if (buf.size() < pos + n) buf.resize(std::min(cap + kCopySlack, std::max(buf.size() * 2, pos + n)));
                std::memcpy(buf.data() + pos, stored_from, n);
                stored_from += n;
                pos += n;
            } else {
                lzma_detail::Run run;
                run.dict_start = dict_start;
                run.hard_limit = static_cast<size_t>(std::min<uint64_t>(chunk_end - base, cap));
                run.stop_at = static_cast<size_t>(std::min(chunk_end, target) - base);
                run.exact = true;
                const Stop stop = lzma_detail::resume(model, cursor, run, buf, pos);
                if (stop == Stop::kBeyondWindow) return Result::kBeyondWindow;
                if (stop != Stop::kLimit) return Result::kError;
            }
            if (decoded() == chunk_end) in_chunk = false;
        }
        return Result::kOk;
    }
};

LzmaWindow::LzmaWindow() = default;
LzmaWindow::~LzmaWindow() = default;

bool LzmaWindow::start(bool lzma2, const uint8_t* properties, size_t properties_length, const uint8_t* in,
                       size_t in_length, uint64_t total, size_t step) {
    s_ = std::make_unique<State>();
    State& s = *s_;
    const uint64_t dictionary = lzma2 ? lzma_detail::lzma2_dictionary_size(properties, properties_length)
                                      : lzma_detail::lzma_dictionary_size(properties, properties_length);
    if (!in || total == 0 || (!lzma2 && properties_length < 5) || (lzma2 && properties_length < 1)) return false;
    s.lzma2 = lzma2;
    s.in = in;
    s.in_length = in_length;
    s.total = total;
    s.step = std::max<size_t>(step, kMaxMatch * 4);
    // A dictionary under 4 KiB is read as 4 KiB, as encoders never go below it.
    s.keep = static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(dictionary, 4096), total));
    s.cap = static_cast<size_t>(std::min<uint64_t>(uint64_t{s.keep} + s.step, total));
    // The whole window at once (growing it step by step touches fresh memory twice), unless
    // the input is too short to fill it: a forged size then gets what the input could make,
    // and the decoder grows the buffer if the output really comes.
    constexpr uint64_t kPlausibleRatio = 256;
    s.buf.resize(static_cast<size_t>(std::min<uint64_t>(s.cap, std::max<uint64_t>(uint64_t{in_length} * kPlausibleRatio, 1 << 16))) +
                 kCopySlack);
    if (lzma2) {
        if (properties[0] > 40) return false;
        s.model.set_properties(0);
        return true;
    }
    if (!s.model.set_properties(properties[0])) return false;
    s.model.reset();
    if (!lzma_detail::start(s.cursor, in, in_length)) return false;
    s.in_chunk = true;
    s.chunk_end = total;
    return true;
}

LzmaWindow::Result LzmaWindow::view(uint64_t from, size_t size, const uint8_t*& data) {
    data = nullptr;
    if (!s_ || from < s_->base || size > piece_limit() || from > s_->total || size > s_->total - from)
        return Result::kError;
    State& s = *s_;
    const uint64_t target = from + size;
    while (s.decoded() < target) {
        if (s.decoded() >= s.room_end() && !s.move(from)) return Result::kError;
        const Result r = s.decode_to(std::min(target, s.room_end()));
        if (r != Result::kOk) return r;
    }
    data = s.buf.data() + (from - s.base);
    return Result::kOk;
}

size_t LzmaWindow::piece_limit() const { return s_ ? s_->step - kMaxMatch : 0; }

uint64_t LzmaWindow::earliest() const { return s_ ? s_->base : 0; }

}  // namespace rez
