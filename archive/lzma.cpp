// LZMA-alone and raw 7z LZMA framings over the shared decoding loop.
#include "archive/lzma.h"

#include <algorithm>
#include <limits>

#include "archive/lzma_internal.h"

namespace rez {
namespace {

using lzma_detail::Model;
using lzma_detail::Run;
using lzma_detail::Stop;

constexpr uint64_t kUnknownSize = ~uint64_t{0};
// Keeps limit arithmetic inside the decoder far from overflow.
constexpr uint64_t kLargestLimit = std::numeric_limits<size_t>::max() / 4;

uint64_t load_u64le(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

// The first allocation: the whole expected output when the input could plausibly produce it
// (one allocation, no regrowth), else an amount in proportion to the input, so a forged size
// cannot reserve memory the data never fills; the decoder grows the buffer as output arrives.
size_t first_room(size_t input_length, size_t target) {
    constexpr size_t kPlausibleRatio = 256;
    const size_t plausible = input_length < (size_t{1} << 40) / kPlausibleRatio ? input_length * kPlausibleRatio
                                                                                 : size_t{1} << 40;
    return std::min(std::max<size_t>(size_t{1} << 16, plausible), target);
}

// Decodes one LZMA stream. known_size 0 = unknown. stop_early (partial mode) is the soft
// stop position, or SIZE_MAX.
Stop run_stream(uint8_t props, const uint8_t* data, size_t length, uint64_t known_size, uint64_t cap,
                size_t stop_early, std::vector<uint8_t>& out) {
    out.clear();
    Model model;
    if (!model.set_properties(props)) return Stop::kError;
    model.reset();
    cap = std::min(cap, kLargestLimit);
    Run run;
    run.in = data;
    run.in_length = length;
    run.dict_start = 0;
    run.exact = known_size != 0;
    run.hard_limit = static_cast<size_t>(run.exact ? known_size : cap);
    run.stop_at = run.exact ? run.hard_limit : std::numeric_limits<size_t>::max();
    run.stop_at = std::min(run.stop_at, stop_early);
    // The decoder keeps a few bytes of slack beyond the limit for its wide match copies.
    // A stated size is believed up to what the input could plausibly produce; without one the
    // buffer starts small and grows with the output.
    const size_t target = std::min(run.hard_limit, run.stop_at);
    const size_t room = run.exact ? first_room(length, target)
                                  : std::min(target, std::max<size_t>(size_t{1} << 16, length / 4 < target ? length * 4 : target));
    out.resize(room + 16);
    size_t pos = 0;
    const Stop stop = lzma_detail::decode(model, run, out, pos);
    out.resize(pos);
    return stop;
}

}  // namespace

bool is_lzma_alone_header(const uint8_t* data, size_t length) {
    if (!data || length < 13) return false;
    if (data[0] != 0x5D && data[0] != 0x08) return false;
    const uint64_t size = load_u64le(data + 5);
    return size == kUnknownSize || (size >= 1 && size <= 0x7FFFFFFF);
}

bool lzma_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out, uint64_t cap, uint64_t limit,
                 bool partial) {
    out.clear();
    if (length < 18 || !is_lzma_alone_header(data, length)) return false;
    const uint64_t stated = load_u64le(data + 5);
    const bool known = stated != kUnknownSize;
    if (known && stated > cap) return false;
    size_t stop_early = std::numeric_limits<size_t>::max();
    if (partial) stop_early = static_cast<size_t>(std::min(limit, kLargestLimit));
    const Stop stop = run_stream(data[0], data + 13, length - 13, known ? stated : 0, cap, stop_early, out);
    if (stop == Stop::kError || out.empty()) return false;
    if (partial) return true;
    if (known) return stop == Stop::kLimit && out.size() == stated;
    return stop == Stop::kEndMarker || stop == Stop::kInputDone;
}

bool lzma_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t max_output) {
    return lzma_decode(data, length, out, max_output, 0, false);
}

bool decompress_if_lzma(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t max_output) {
    if (is_lzma_alone_header(in.data(), in.size())) return lzma_decode(in.data(), in.size(), out, max_output);
    out = in;
    return true;
}

bool lzma_decode_raw(const uint8_t* properties, const uint8_t* data, size_t length, uint64_t known_size,
                     std::vector<uint8_t>& out, size_t max_output) {
    out.clear();
    if (!properties || !data || length < 5) return false;
    if (known_size > max_output) return false;
    const Stop stop =
        run_stream(properties[0], data, length, known_size, max_output, std::numeric_limits<size_t>::max(), out);
    if (stop == Stop::kError || out.empty()) return false;
    if (known_size) return stop == Stop::kLimit && out.size() == known_size;
    return true;
}

}  // namespace rez
