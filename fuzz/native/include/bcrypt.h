// CNG, declared for the native fuzzing build only. Nothing is provided: every call fails,
// so the encrypted roads end at their first cipher call (the Wine build covers them).
#pragma once

#include <windows.h>

using BCRYPT_HANDLE = void*;
using BCRYPT_ALG_HANDLE = void*;
using BCRYPT_KEY_HANDLE = void*;
using BCRYPT_HASH_HANDLE = void*;

#define BCRYPT_SUCCESS(status) ((status) >= 0)
#define BCRYPT_AES_ALGORITHM L"AES"
#define BCRYPT_SHA1_ALGORITHM L"SHA1"
#define BCRYPT_SHA256_ALGORITHM L"SHA256"
#define BCRYPT_CHAINING_MODE L"ChainingMode"
#define BCRYPT_CHAIN_MODE_CBC L"ChainingModeCBC"
#define BCRYPT_CHAIN_MODE_ECB L"ChainingModeECB"
#define BCRYPT_ALG_HANDLE_HMAC_FLAG 0x8u
#define BCRYPT_USE_SYSTEM_PREFERRED_RNG 0x2u

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* alg, LPCWSTR id, LPCWSTR impl, ULONG flags);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE alg, ULONG flags);
NTSTATUS BCryptSetProperty(BCRYPT_HANDLE object, LPCWSTR property, PUCHAR input, ULONG length, ULONG flags);
NTSTATUS BCryptGenerateSymmetricKey(BCRYPT_ALG_HANDLE alg, BCRYPT_KEY_HANDLE* key, PUCHAR object,
                                    ULONG object_length, PUCHAR secret, ULONG secret_length, ULONG flags);
NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE key);
NTSTATUS BCryptEncrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG input_length, void* padding, PUCHAR iv,
                       ULONG iv_length, PUCHAR output, ULONG output_length, ULONG* result, ULONG flags);
NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG input_length, void* padding, PUCHAR iv,
                       ULONG iv_length, PUCHAR output, ULONG output_length, ULONG* result, ULONG flags);
NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE alg, BCRYPT_HASH_HANDLE* hash, PUCHAR object, ULONG object_length,
                          PUCHAR secret, ULONG secret_length, ULONG flags);
NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG length, ULONG flags);
NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG length, ULONG flags);
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash);
NTSTATUS BCryptDeriveKeyPBKDF2(BCRYPT_ALG_HANDLE prf, PUCHAR password, ULONG password_length, PUCHAR salt,
                               ULONG salt_length, ULONGLONG iterations, PUCHAR key, ULONG key_length,
                               ULONG flags);
NTSTATUS BCryptGenRandom(BCRYPT_ALG_HANDLE alg, PUCHAR buffer, ULONG length, ULONG flags);
