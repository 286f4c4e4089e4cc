// AES, SHA-1 HMAC, PBKDF2, SHA-256 and random bytes over CNG.
#include "archive/crypto.h"

#include <algorithm>
#include <cstring>

namespace rez {
namespace {

// CNG takes ULONG lengths; big buffers go in pieces.
constexpr size_t kCngChunk = 0x40000000;

BCRYPT_ALG_HANDLE open_provider(const wchar_t* algorithm, ULONG flags, const wchar_t* chaining) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, flags))) return nullptr;
    if (chaining) {
        ULONG bytes = static_cast<ULONG>((wcslen(chaining) + 1) * sizeof(wchar_t));
        if (!BCRYPT_SUCCESS(BCryptSetProperty(handle, BCRYPT_CHAINING_MODE,
                                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chaining)), bytes,
                                              0))) {
            BCryptCloseAlgorithmProvider(handle, 0);
            return nullptr;
        }
    }
    return handle;
}

// Opened once per process (thread-safe statics) and never closed.
BCRYPT_ALG_HANDLE aes_cbc_provider() {
    static BCRYPT_ALG_HANDLE h = open_provider(BCRYPT_AES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_CBC);
    return h;
}
BCRYPT_ALG_HANDLE aes_ecb_provider() {
    static BCRYPT_ALG_HANDLE h = open_provider(BCRYPT_AES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_ECB);
    return h;
}
BCRYPT_ALG_HANDLE sha256_provider() {
    static BCRYPT_ALG_HANDLE h = open_provider(BCRYPT_SHA256_ALGORITHM, 0, nullptr);
    return h;
}

struct KeyCloser {
    BCRYPT_KEY_HANDLE key = nullptr;
    ~KeyCloser() {
        if (key) BCryptDestroyKey(key);
    }
};
struct HashCloser {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~HashCloser() {
        if (hash) BCryptDestroyHash(hash);
    }
};

bool hash_data(BCRYPT_HASH_HANDLE hash, const uint8_t* data, size_t length) {
    while (length > 0) {
        ULONG piece = static_cast<ULONG>(std::min(length, kCngChunk));
        if (!BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(data), piece, 0))) return false;
        data += piece;
        length -= piece;
    }
    return true;
}

}  // namespace

bool aes_crypt(const wchar_t* chaining_mode, const std::vector<uint8_t>& key, const std::vector<uint8_t>& iv,
               const uint8_t* data, size_t length, bool encrypt, std::vector<uint8_t>& out) {
    if (!chaining_mode) return false;
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (wcscmp(chaining_mode, L"ChainingModeCBC") == 0)
        alg = aes_cbc_provider();
    else if (wcscmp(chaining_mode, L"ChainingModeECB") == 0)
        alg = aes_ecb_provider();
    else
        return false;
    if (length % 16 != 0 || length > 0xFFFFFFF0u || !alg || key.empty()) return false;

    KeyCloser k;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(alg, &k.key, nullptr, 0, const_cast<PUCHAR>(key.data()),
                                                   static_cast<ULONG>(key.size()), 0)))
        return false;
    out.assign(length, 0);
    if (length == 0) return true;

    std::vector<uint8_t> iv_copy = iv;  // CNG advances the IV it is given
    PUCHAR iv_ptr = iv_copy.empty() ? nullptr : iv_copy.data();
    ULONG iv_len = static_cast<ULONG>(iv_copy.size());
    ULONG done = 0;
    NTSTATUS status =
        encrypt ? BCryptEncrypt(k.key, const_cast<PUCHAR>(data), static_cast<ULONG>(length), nullptr, iv_ptr,
                                iv_len, out.data(), static_cast<ULONG>(out.size()), &done, 0)
                : BCryptDecrypt(k.key, const_cast<PUCHAR>(data), static_cast<ULONG>(length), nullptr, iv_ptr,
                                iv_len, out.data(), static_cast<ULONG>(out.size()), &done, 0);
    if (!BCRYPT_SUCCESS(status)) return false;
    out.resize(done);
    return true;
}

bool aes_ctr_keystream(const std::vector<uint8_t>& key, std::vector<uint8_t>& data) {
    if (data.empty()) return true;
    size_t blocks = (data.size() + 15) / 16;
    std::vector<uint8_t> counters(blocks * 16, 0);
    uint8_t counter[16] = {};
    for (size_t b = 0; b < blocks; ++b) {
        for (int i = 0; i < 16; ++i)
            if (++counter[i] != 0) break;
        std::memcpy(&counters[b * 16], counter, 16);
    }
    std::vector<uint8_t> stream;
    if (!aes_crypt(L"ChainingModeECB", key, {}, counters.data(), counters.size(), true, stream) ||
        stream.size() < data.size())
        return false;
    for (size_t i = 0; i < data.size(); ++i) data[i] ^= stream[i];
    return true;
}

BCRYPT_ALG_HANDLE open_hmac_sha1_provider() {
    static BCRYPT_ALG_HANDLE h = open_provider(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG, nullptr);
    return h;
}

bool hmac_sha1(const std::vector<uint8_t>& key, const uint8_t* data, size_t length,
               std::vector<uint8_t>& mac) {
    BCRYPT_ALG_HANDLE alg = open_hmac_sha1_provider();
    if (!alg) return false;
    HashCloser h;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg, &h.hash, nullptr, 0, const_cast<PUCHAR>(key.data()),
                                         static_cast<ULONG>(key.size()), 0)))
        return false;
    if (!hash_data(h.hash, data, length)) return false;
    std::vector<uint8_t> result(20);
    if (!BCRYPT_SUCCESS(BCryptFinishHash(h.hash, result.data(), 20, 0))) return false;
    mac = std::move(result);
    return true;
}

bool sha256(const uint8_t* data, size_t length, std::vector<uint8_t>& digest) {
    BCRYPT_ALG_HANDLE alg = sha256_provider();
    if (!alg) return false;
    HashCloser h;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg, &h.hash, nullptr, 0, nullptr, 0, 0))) return false;
    if (!hash_data(h.hash, data, length)) return false;
    std::vector<uint8_t> result(32);
    if (!BCRYPT_SUCCESS(BCryptFinishHash(h.hash, result.data(), 32, 0))) return false;
    digest = std::move(result);
    return true;
}

bool pbkdf2_hmac_sha1(const std::string& password, const std::vector<uint8_t>& salt, int strength,
                      WinZipAesKeys& out) {
    BCRYPT_ALG_HANDLE alg = open_hmac_sha1_provider();
    if (!alg) return false;
    size_t k = strength == 1 ? 16 : strength == 2 ? 24 : 32;
    std::vector<uint8_t> derived(2 * k + 2);
    if (!BCRYPT_SUCCESS(BCryptDeriveKeyPBKDF2(
            alg, reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
            static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt.data()),
            static_cast<ULONG>(salt.size()), 1000, derived.data(), static_cast<ULONG>(derived.size()), 0)))
        return false;
    out.encryption_key.assign(derived.begin(), derived.begin() + k);
    out.mac_key.assign(derived.begin() + k, derived.begin() + 2 * k);
    out.verifier.assign(derived.begin() + 2 * k, derived.end());
    return true;
}

std::vector<uint8_t> to_utf16le_bytes(const std::wstring& text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 2);
    for (wchar_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    return out;
}

std::vector<uint8_t> sevenzip_derive_key(const std::wstring& password, const std::vector<uint8_t>& salt,
                                         int cycles_power) {
    std::vector<uint8_t> pass = to_utf16le_bytes(password);
    if (cycles_power == 0x3F) {
        std::vector<uint8_t> key(salt);
        key.insert(key.end(), pass.begin(), pass.end());
        key.resize(32, 0);
        return key;
    }
    if (cycles_power < 0 || cycles_power > 24) return {};
    BCRYPT_ALG_HANDLE alg = sha256_provider();
    if (!alg) return {};
    HashCloser h;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg, &h.hash, nullptr, 0, nullptr, 0, 0))) return {};

    // The hash sees one long stream, so many rounds are batched into one buffer: one CNG
    // call per ~64 KiB instead of one per round (millions of rounds at the common settings).
    const size_t unit = salt.size() + pass.size() + 8;
    const uint64_t rounds = 1ull << cycles_power;
    const size_t per_batch = std::max<size_t>(1, 65536 / unit);
    std::vector<uint8_t> batch;
    batch.reserve(per_batch * unit);
    for (uint64_t i = 0; i < rounds;) {
        batch.clear();
        for (size_t n = 0; n < per_batch && i < rounds; ++n, ++i) {
            batch.insert(batch.end(), salt.begin(), salt.end());
            batch.insert(batch.end(), pass.begin(), pass.end());
            for (int b = 0; b < 8; ++b) batch.push_back(static_cast<uint8_t>(i >> (8 * b)));
        }
        if (!hash_data(h.hash, batch.data(), batch.size())) return {};
    }
    std::vector<uint8_t> key(32);
    if (!BCRYPT_SUCCESS(BCryptFinishHash(h.hash, key.data(), 32, 0))) return {};
    return key;
}

bool random_bytes(uint8_t* out, size_t length) {
    while (length > 0) {
        ULONG piece = static_cast<ULONG>(std::min(length, kCngChunk));
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return false;
        out += piece;
        length -= piece;
    }
    return true;
}

}  // namespace rez
