// An LZMA or LZMA2 stream of known size decoded through a window: the buffer holds the
// stream's dictionary and the bytes asked for, not the whole output. Whole-archive
// extraction reads a large solid 7z folder this way, file after file, from one reused buffer
// instead of fresh memory the size of the folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace rez {

class LzmaWindow {
public:
    enum class Result {
        kOk,
        kError,         // malformed stream, or the bytes asked for lie before the window
        // The stream does not fit the window (a distance reaches past the stated dictionary,
        // or an LZMA2 chunk runs past the stated total): decode it whole instead.
        kBeyondWindow,
    };

    LzmaWindow();
    ~LzmaWindow();
    LzmaWindow(const LzmaWindow&) = delete;
    LzmaWindow& operator=(const LzmaWindow&) = delete;

    // lzma2 false: the raw LZMA coder of 7z with its 5 properties bytes; true: an LZMA2 stream
    // with its 1 properties byte. total is the stream's output size (at least 1); in must stay
    // valid while the window is used. step is the output decoded between two moves of the
    // window; the buffer holds at most the dictionary plus step (never more than total).
    // False on malformed properties or input shorter than a stream can be.
    bool start(bool lzma2, const uint8_t* properties, size_t properties_length, const uint8_t* in, size_t in_length,
               uint64_t total, size_t step);

    // The output bytes [from, from + size) as one piece, valid until the next call. size is at
    // most piece_limit() and from + size at most total. Bytes are asked for in stream order:
    // from is not before the first byte the window still holds (earliest()).
    Result view(uint64_t from, size_t size, const uint8_t*& data);

    size_t piece_limit() const;
    uint64_t earliest() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace rez
