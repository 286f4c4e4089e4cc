// Decoding one 7z folder: the coder chain (Copy, LZMA, LZMA2, Deflate, 7z AES) followed
// through its bind pairs.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "archive/crypto.h"
#include "archive/deflate.h"
#include "archive/lzma.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"

namespace rez {
namespace {

const uint8_t kIdCopy[] = {0x00};
const uint8_t kIdLzma2[] = {0x21};
const uint8_t kIdLzma[] = {0x03, 0x01, 0x01};
const uint8_t kIdDeflate[] = {0x04, 0x01, 0x08};
const uint8_t kIdAes[] = {0x06, 0xF1, 0x07, 0x01};

template <size_t N>
bool is_method(const SevenZipCoder& c, const uint8_t (&id)[N]) {
    return c.method_id.size() == N && std::memcmp(c.method_id.data(), id, N) == 0;
}

// The key derivation hashes 2^19 times; whole-archive extraction asks for the same key once
// per folder, so the last derived key is kept.
std::vector<uint8_t> derive_key_cached(const std::wstring& password, const std::vector<uint8_t>& salt, int power) {
    static std::mutex lock;
    static std::wstring last_password;
    static std::vector<uint8_t> last_salt;
    static int last_power = -1;
    static std::vector<uint8_t> last_key;
    {
        std::lock_guard<std::mutex> g(lock);
        if (!last_key.empty() && power == last_power && salt == last_salt && password == last_password)
            return last_key;
    }
    std::vector<uint8_t> key = sevenzip_derive_key(password, salt, power);
    if (key.size() == 32) {
        std::lock_guard<std::mutex> g(lock);
        last_password = password;
        last_salt = salt;
        last_power = power;
        last_key = key;
    }
    return key;
}

// Maps an in-stream or out-stream index of a folder to the coder that owns it.
bool coder_of_stream(const SevenZipFolder& f, uint64_t index, bool in, size_t& coder) {
    uint64_t first = 0;
    for (size_t i = 0; i < f.coders.size(); i++) {
        const uint64_t n = in ? f.coders[i].in_streams : f.coders[i].out_streams;
        if (index < first + n) {
            coder = i;
            return true;
        }
        first += n;
    }
    return false;
}

uint64_t first_out_stream(const SevenZipFolder& f, size_t coder) {
    uint64_t first = 0;
    for (size_t i = 0; i < coder; i++) first += f.coders[i].out_streams;
    return first;
}

bool aes_decrypt_span(const SevenZipCoder& coder, const uint8_t* input, size_t input_length, uint64_t unpack_size,
                      std::vector<uint8_t>& out) {
    out.clear();
    const auto& p = coder.properties;
    if (p.empty()) return false;
    const unsigned b0 = p[0];
    const int power = static_cast<int>(b0 & 0x3F);
    size_t salt_size = 0, iv_size = 0, need = 1;
    if (b0 > 63) {
        if (p.size() < 2) return false;
        const unsigned b1 = p[1];
        salt_size = (b1 >> 4) + (b0 >> 7);
        iv_size = (b1 & 15) + ((b0 >> 6) & 1);
        need = 2 + salt_size + iv_size;
    }
    if (p.size() < need) return false;
    const size_t salt_at = b0 > 63 ? 2 : 1;
    const std::vector<uint8_t> salt(p.begin() + salt_at, p.begin() + salt_at + salt_size);
    std::vector<uint8_t> iv(16, 0);
    for (size_t i = 0; i < iv_size; i++) iv[i] = p[2 + salt_size + i];
    const std::wstring password = get_current_password();
    if (password.empty()) return false;
    const std::vector<uint8_t> key = derive_key_cached(password, salt, power);
    if (key.size() != 32) return false;
    const size_t length = input_length & ~size_t{15};
    if (length == 0) return false;
    if (!aes_crypt(L"ChainingModeCBC", key, iv, input, length, false, out)) return false;
    if (unpack_size != 0 && unpack_size < out.size()) out.resize(static_cast<size_t>(unpack_size));
    return true;
}

// One coder step from a span of input into out.
bool decode_step(const SevenZipCoder& c, const uint8_t* data, size_t length, uint64_t unpack,
                 std::vector<uint8_t>& out) {
    if (is_method(c, kIdAes)) return aes_decrypt_span(c, data, length, unpack, out);
    if (is_method(c, kIdCopy)) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(unpack, length));
        out.assign(data, data + n);
        return true;
    }
    if (is_method(c, kIdLzma2)) return lzma2_decode(data, length, out, unpack);
    if (is_method(c, kIdLzma)) {
        if (c.properties.empty()) return false;
        return lzma_decode_raw(c.properties.data(), data, length, unpack, out, kMaxDecodedSize);
    }
    if (is_method(c, kIdDeflate)) {
        const size_t limit = static_cast<size_t>(std::min<uint64_t>(unpack, kMaxDecodedSize));
        return inflate(data, length, out, limit);
    }
    return false;
}

}  // namespace

bool sevenzip_folder_is_encrypted(const SevenZipFolder& folder) {
    return std::any_of(folder.coders.begin(), folder.coders.end(),
                       [](const SevenZipCoder& c) { return is_method(c, kIdAes); });
}

bool sevenzip_folder_is_supported(const SevenZipFolder& folder) {
    return std::all_of(folder.coders.begin(), folder.coders.end(), [](const SevenZipCoder& c) {
        return is_method(c, kIdCopy) || is_method(c, kIdLzma) || is_method(c, kIdLzma2) || is_method(c, kIdDeflate) ||
               is_method(c, kIdAes);
    });
}

bool sevenzip_folder_is_one_lzma(const SevenZipFolder& folder, bool& lzma2) {
    if (folder.coders.size() != 1 || folder.packed_streams.size() != 1 || folder.unpack_sizes.size() != 1) return false;
    const SevenZipCoder& c = folder.coders[0];
    if (c.in_streams != 1 || c.out_streams != 1 || folder.unpack_sizes[0] == 0) return false;
    lzma2 = is_method(c, kIdLzma2);
    return lzma2 || is_method(c, kIdLzma);
}

uint64_t sevenzip_folder_limited_size(const SevenZipFolder& folder) {
    uint64_t largest = 0;
    for (size_t i = 0; i < folder.coders.size(); i++) {
        const SevenZipCoder& c = folder.coders[i];
        if (!is_method(c, kIdLzma) && !is_method(c, kIdLzma2) && !is_method(c, kIdDeflate)) continue;
        const uint64_t out_index = first_out_stream(folder, i);
        if (out_index < folder.unpack_sizes.size())
            largest = std::max(largest, folder.unpack_sizes[static_cast<size_t>(out_index)]);
    }
    return largest;
}

bool sevenzip_aes_decrypt(const SevenZipCoder& coder, const std::vector<uint8_t>& input, uint64_t unpack_size,
                          std::vector<uint8_t>& out) {
    return aes_decrypt_span(coder, input.data(), input.size(), unpack_size, out);
}

bool sevenzip_decode_folder_span(const SevenZipFolder& folder, const uint8_t* packed, size_t packed_length,
                                 std::vector<uint8_t>& out) {
    out.clear();
    if (folder.packed_streams.empty()) return false;
    size_t coder = 0;
    if (!coder_of_stream(folder, folder.packed_streams[0], true, coder)) return false;
    // The last step writes straight into out, so a caller that reuses out keeps its memory.
    std::vector<uint8_t> buffers[2];
    int which = 0;
    const uint8_t* data = packed;
    size_t length = packed_length;
    size_t steps = 0;
    for (;;) {
        if (++steps > folder.coders.size() + 4) return false;
        const SevenZipCoder& c = folder.coders[coder];
        if (c.in_streams != 1 || c.out_streams != 1) return false;
        const uint64_t out_index = first_out_stream(folder, coder);
        const uint64_t unpack =
            out_index < folder.unpack_sizes.size() ? folder.unpack_sizes[static_cast<size_t>(out_index)] : 0;
        const auto next = std::find_if(folder.bind_pairs.begin(), folder.bind_pairs.end(),
                                       [out_index](const auto& bp) { return bp.second == out_index; });
        const bool last = next == folder.bind_pairs.end();
        std::vector<uint8_t>& target = last ? out : buffers[which];
        if (!decode_step(c, data, length, unpack, target)) {
            out.clear();
            return false;
        }
        if (last) return true;
        data = target.data();
        length = target.size();
        which ^= 1;
        if (!coder_of_stream(folder, next->first, true, coder)) return false;
    }
}

bool sevenzip_decode_folder(const SevenZipFolder& folder, const std::vector<uint8_t>& packed,
                            std::vector<uint8_t>& out) {
    return sevenzip_decode_folder_span(folder, packed.data(), packed.size(), out);
}

}  // namespace rez
