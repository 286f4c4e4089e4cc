#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/crypto.h"

namespace {

std::vector<uint8_t> unhex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}
std::string hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

TEST(CryptoDigest, Md5KnownValuesAcrossBlockBoundaries) {
    struct Case {
        std::string input, digest;
    } cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
        // 56 bytes: the length no longer fits the first padding block.
        {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
        {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rez::md5_hex(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size()), c.digest)
            << c.input.size();
}

TEST(CryptoDigest, Sha256AndHmacSha1) {
    std::vector<uint8_t> d;
    ASSERT_TRUE(rez::sha256(reinterpret_cast<const uint8_t*>("abc"), 3, d));
    EXPECT_EQ(hex(d), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::string msg = "The quick brown fox jumps over the lazy dog";
    ASSERT_TRUE(rez::hmac_sha1(bytes_of("key"), reinterpret_cast<const uint8_t*>(msg.data()), msg.size(), d));
    EXPECT_EQ(hex(d), "de7c9b85b8b78aa6bc8a7a36f70a90701c9db4d9");
}

TEST(CryptoCipher, AesKnownVectorsBothModes) {
    std::vector<uint8_t> out;
    auto plain = unhex("00112233445566778899aabbccddeeff");
    ASSERT_TRUE(rez::aes_crypt(L"ChainingModeECB", unhex("000102030405060708090a0b0c0d0e0f"), {},
                               plain.data(), plain.size(), true, out));
    EXPECT_EQ(hex(out), "69c4e0d86a7b0430d8cdb78070b4c55a");

    auto key = unhex("2b7e151628aed2a6abf7158809cf4f3c");
    auto iv = unhex("000102030405060708090a0b0c0d0e0f");
    auto cbc_plain = unhex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    ASSERT_TRUE(rez::aes_crypt(L"ChainingModeCBC", key, iv, cbc_plain.data(), cbc_plain.size(), true, out));
    EXPECT_EQ(hex(out), "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");
    std::vector<uint8_t> back;
    ASSERT_TRUE(rez::aes_crypt(L"ChainingModeCBC", key, iv, out.data(), out.size(), false, back));
    EXPECT_EQ(back, cbc_plain);
    EXPECT_EQ(hex(iv), "000102030405060708090a0b0c0d0e0f");  // the caller's IV is not advanced
}

TEST(CryptoCipher, AesRefusesBadArguments) {
    std::vector<uint8_t> key(16, 1), data(17, 0), out;
    EXPECT_FALSE(rez::aes_crypt(L"ChainingModeECB", key, {}, data.data(), 17, true, out));
    EXPECT_FALSE(rez::aes_crypt(L"chainingmodeecb", key, {}, data.data(), 16, true, out));
    EXPECT_FALSE(
        rez::aes_crypt(L"ChainingModeECB", std::vector<uint8_t>(15, 1), {}, data.data(), 16, true, out));
}

TEST(CryptoCipher, WinZipCounterModeUsesLittleEndianCounterFromOne) {
    std::vector<uint8_t> key(32, 0x42);
    std::vector<uint8_t> data(33, 0);
    ASSERT_TRUE(rez::aes_ctr_keystream(key, data));
    std::vector<uint8_t> counters(48, 0), stream;
    counters[0] = 1;
    counters[16] = 2;
    counters[32] = 3;
    ASSERT_TRUE(rez::aes_crypt(L"ChainingModeECB", key, {}, counters.data(), counters.size(), true, stream));
    stream.resize(33);
    EXPECT_EQ(data, stream);
    ASSERT_TRUE(rez::aes_ctr_keystream(key, data));
    EXPECT_EQ(data, std::vector<uint8_t>(33, 0));

    // Carry across bytes: block 256 has counter bytes 00 01.
    std::vector<uint8_t> long_data(256 * 16, 0);
    ASSERT_TRUE(rez::aes_ctr_keystream(key, long_data));
    std::vector<uint8_t> c256(16, 0), s256;
    c256[1] = 1;
    ASSERT_TRUE(rez::aes_crypt(L"ChainingModeECB", key, {}, c256.data(), 16, true, s256));
    EXPECT_EQ(std::vector<uint8_t>(long_data.end() - 16, long_data.end()), s256);
}

TEST(CryptoCipher, WinZipKeyDerivation) {
    rez::WinZipAesKeys keys;
    std::vector<uint8_t> salt16;
    for (int i = 0; i < 16; ++i) salt16.push_back(static_cast<uint8_t>(i));
    ASSERT_TRUE(rez::pbkdf2_hmac_sha1("secret", salt16, 3, keys));
    EXPECT_EQ(hex(keys.encryption_key) + hex(keys.mac_key) + hex(keys.verifier),
              "b054b25cf15c5e093100214b7cbd9d49b6e163a979efc91aa818b8a2f664ee1d4315c73829e75ef42f5b8942f6d1d1"
              "dff97dd"
              "fcfa912c2a63a87d24a1948b787a336");
    ASSERT_TRUE(
        rez::pbkdf2_hmac_sha1("pw", std::vector<uint8_t>(salt16.begin(), salt16.begin() + 8), 1, keys));
    EXPECT_EQ(keys.encryption_key.size(), 16u);
    EXPECT_EQ(hex(keys.encryption_key) + hex(keys.mac_key) + hex(keys.verifier),
              "faf17ed12ffb5641e78597cf34117f5f03c2f0c0768ae2f887bb3f26b090210c4b77");
}

TEST(CryptoCipher, SevenZipKeyDerivation) {
    EXPECT_EQ(hex(rez::sevenzip_derive_key(L"ab", {}, 6)),
              "6f23b1851af7ef1863f13c3c6eb75bd2d3fa298460ec8cf221cb9787af2a0532");
    // The setting 7-Zip writes (2^19 rounds), with a salt and non-ASCII text.
    EXPECT_EQ(hex(rez::sevenzip_derive_key(L"\x5BC6\x7801x", {1, 2, 3, 4, 5, 6, 7, 8}, 19)),
              "7a45da80d01c20519b731ad492287ac98203a4c9a115f75d6beb47968faf4442");
    std::vector<uint8_t> salt40(40);
    for (int i = 0; i < 40; ++i) salt40[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(rez::sevenzip_derive_key(L"zz", salt40, 63),
              std::vector<uint8_t>(salt40.begin(), salt40.begin() + 32));
    auto raw = rez::sevenzip_derive_key(L"p", {9}, 63);
    EXPECT_EQ(hex(raw), "0970" + std::string(60, '0'));
    EXPECT_TRUE(rez::sevenzip_derive_key(L"p", {}, 25).empty());
    EXPECT_EQ(rez::to_utf16le_bytes(L"A\x4E2D"), (std::vector<uint8_t>{0x41, 0x00, 0x2D, 0x4E}));
}

TEST(CryptoCipher, ZipCryptoRoundTripAndWrongPassword) {
    std::vector<uint8_t> data = bytes_of("hello, traditional cipher");
    auto sealed = rez::zipcrypto_encrypt("pw", data, 0xA5);
    ASSERT_EQ(sealed.size(), data.size() + 12);
    std::vector<uint8_t> out;
    ASSERT_TRUE(rez::zipcrypto_decrypt("pw", sealed.data(), sealed.size(), 0xA5, out));
    EXPECT_EQ(out, data);

    // Count wrong passwords that slip past the check byte: about 1 in 256.
    int passed = 0;
    for (int i = 0; i < 512; ++i) {
        std::vector<uint8_t> junk{1, 2, 3};
        if (rez::zipcrypto_decrypt("wrong" + std::to_string(i), sealed.data(), sealed.size(), 0xA5, junk))
            ++passed;
        else
            EXPECT_EQ(junk, (std::vector<uint8_t>{1, 2, 3}));
    }
    EXPECT_LT(passed, 12);

    auto header_only = rez::zipcrypto_encrypt("pw", {}, 0x11);
    ASSERT_EQ(header_only.size(), 12u);
    EXPECT_TRUE(rez::zipcrypto_decrypt("pw", header_only.data(), 12, 0x11, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(rez::zipcrypto_decrypt("pw", header_only.data(), 11, 0x11, out));
}

}  // namespace
