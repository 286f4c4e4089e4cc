// Digests and ciphers of the archive formats: MD5 and the traditional PKWARE cipher are
// our own code; AES, SHA-1 HMAC, PBKDF2, SHA-256 and random bytes come from CNG.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rez {

// MD5 of the buffer as 32 upper-case hex digits.
std::string md5_hex(const uint8_t* data, size_t length);

// Keys derived for one WinZip AES entry.
struct WinZipAesKeys {
    std::vector<uint8_t> encryption_key;  // 16, 24 or 32 bytes
    std::vector<uint8_t> mac_key;         // same length
    std::vector<uint8_t> verifier;        // 2 bytes
};

// AES without padding. chaining_mode is exactly L"ChainingModeCBC" or L"ChainingModeECB";
// length must be a multiple of 16; an empty iv means none (ECB).
bool aes_crypt(const wchar_t* chaining_mode, const std::vector<uint8_t>& key, const std::vector<uint8_t>& iv,
               const uint8_t* data, size_t length, bool encrypt, std::vector<uint8_t>& out);

// WinZip AES counter mode, in place (encrypts and decrypts). data is unchanged on failure.
bool aes_ctr_keystream(const std::vector<uint8_t>& key, std::vector<uint8_t>& data);

// The process-wide HMAC-SHA1 provider, or null when it could not be opened.
BCRYPT_ALG_HANDLE open_hmac_sha1_provider();

// HMAC-SHA1 of the buffer (20 bytes into mac). False when the provider is missing or CNG fails.
bool hmac_sha1(const std::vector<uint8_t>& key, const uint8_t* data, size_t length,
               std::vector<uint8_t>& mac);

// SHA-256 of the buffer (32 bytes into digest).
bool sha256(const uint8_t* data, size_t length, std::vector<uint8_t>& digest);

// WinZip AES key derivation (PBKDF2-HMAC-SHA1, 1000 iterations). strength 1 = 128, 2 = 192,
// anything else 256 bits. out is filled only on success.
bool pbkdf2_hmac_sha1(const std::string& password, const std::vector<uint8_t>& salt, int strength,
                      WinZipAesKeys& out);

// 7z AES-256 key from the password's UTF-16LE bytes; empty on failure (cycles_power above 24
// other than 63 is refused).
std::vector<uint8_t> sevenzip_derive_key(const std::wstring& password, const std::vector<uint8_t>& salt,
                                         int cycles_power);

// Each UTF-16 unit as two bytes, low byte first; no terminator.
std::vector<uint8_t> to_utf16le_bytes(const std::wstring& text);

// Fills the buffer from the system-preferred random generator. False when CNG fails (the
// buffer is then untouched; callers pick their own fallback).
bool random_bytes(uint8_t* out, size_t length);

// Traditional PKWARE cipher. data starts with the 12-byte encryption header; the last header
// byte must decrypt to check_byte (wrong password) else false and out untouched.
bool zipcrypto_decrypt(const std::string& password, const uint8_t* data, size_t length, uint8_t check_byte,
                       std::vector<uint8_t>& out);
// A fresh random 12-byte header (last byte check_byte) followed by the encrypted data.
std::vector<uint8_t> zipcrypto_encrypt(const std::string& password, const std::vector<uint8_t>& data,
                                       uint8_t check_byte);

}  // namespace rez
