// The traditional PKWARE ZIP cipher.
#include <windows.h>

#include "archive/crc32.h"
#include "archive/crypto.h"

namespace rez {
namespace {

struct ZipKeys {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;

    explicit ZipKeys(const std::string& password) {
        for (char c : password) update(static_cast<uint8_t>(c));
    }
    void update(uint8_t plain) {
        k0 = crc32_step(k0, plain);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = crc32_step(k2, static_cast<uint8_t>(k1 >> 24));
    }
    uint8_t stream_byte() const {
        uint32_t t = (k2 & 0xFFFF) | 2;
        return static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
    }
    uint8_t decrypt(uint8_t c) {
        uint8_t p = c ^ stream_byte();
        update(p);
        return p;
    }
    uint8_t encrypt(uint8_t p) {
        uint8_t c = p ^ stream_byte();
        update(p);
        return c;
    }
};

}  // namespace

bool zipcrypto_decrypt(const std::string& password, const uint8_t* data, size_t length, uint8_t check_byte,
                       std::vector<uint8_t>& out) {
    if (!data || length < 12) return false;
    ZipKeys keys(password);
    uint8_t last = 0;
    for (int i = 0; i < 12; ++i) last = keys.decrypt(data[i]);
    if (last != check_byte) return false;
    out.resize(length - 12);
    for (size_t i = 12; i < length; ++i) out[i - 12] = keys.decrypt(data[i]);
    return true;
}

std::vector<uint8_t> zipcrypto_encrypt(const std::string& password, const std::vector<uint8_t>& data,
                                       uint8_t check_byte) {
    uint8_t header[12];
    if (!random_bytes(header, sizeof header)) {
        uint64_t s = GetTickCount64() * 6364136223846793005ull + 1442695040888963407ull;
        for (uint8_t& b : header) {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<uint8_t>(s >> 33);
        }
    }
    header[11] = check_byte;
    ZipKeys keys(password);
    std::vector<uint8_t> out;
    out.reserve(data.size() + 12);
    for (uint8_t b : header) out.push_back(keys.encrypt(b));
    for (uint8_t b : data) out.push_back(keys.encrypt(b));
    return out;
}

}  // namespace rez
