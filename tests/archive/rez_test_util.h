// Byte-level builders for REZ archives in tests, written from the file layout alone so
// that the reader is checked against hand-made files, not against our own writer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/rez_model.h"
#include "archive/util.h"

namespace reztest {

using Bytes = std::vector<uint8_t>;

inline void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void put_str(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

inline Bytes header(uint32_t root_pos, uint32_t root_len, uint32_t version = 1,
                    const std::string& sig = "RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.",
                    const std::string& title = "LithTech Resource File") {
    Bytes h(168, 0);
    h[0] = 0x0D;
    h[1] = 0x0A;
    for (int i = 0; i < 60; ++i) h[2 + i] = i < static_cast<int>(sig.size()) ? sig[i] : ' ';
    h[62] = 0x0D;
    h[63] = 0x0A;
    for (int i = 0; i < 60; ++i) h[64 + i] = i < static_cast<int>(title.size()) ? title[i] : ' ';
    h[124] = 0x0D;
    h[125] = 0x0A;
    h[126] = 0x1A;
    rez::store_u32le(&h[127], version);
    rez::store_u32le(&h[131], root_pos);
    rez::store_u32le(&h[135], root_len);
    rez::store_u32le(&h[143], 168);
    return h;
}

// Game-layout records.
inline Bytes dir_record(uint32_t pos, uint32_t size, const std::string& name, uint32_t time = 0) {
    Bytes b;
    put32(b, 1);
    put32(b, pos);
    put32(b, size);
    put32(b, time);
    put32(b, static_cast<uint32_t>(name.size()));
    put_str(b, name);
    b.push_back(0);
    return b;
}

inline Bytes file_record(uint32_t pos, uint32_t size, uint32_t id, uint32_t type, const std::string& name,
                         uint32_t key_count = 0, uint32_t keys_present = 0, uint8_t attr = 0, uint32_t time = 0) {
    Bytes b;
    put32(b, 0);
    put32(b, pos);
    put32(b, size);
    put32(b, id);
    put32(b, time);
    put32(b, type);
    put32(b, key_count);
    put32(b, static_cast<uint32_t>(name.size()));
    put_str(b, name);
    b.push_back(0);
    b.push_back(attr);
    if (attr) b.push_back(0);
    for (int i = 0; i < 32; ++i) b.push_back(static_cast<uint8_t>('A' + i % 26));
    for (uint32_t i = 0; i < keys_present; ++i) put32(b, 0x1234 + i);
    return b;
}

// The scrambling rule, restated: stored = NOT((plain - 0x49) XOR T[(base + i) mod 1013]).
inline Bytes scramble(Bytes plain, uint64_t base) {
    const auto& t = rez::rez_crypto_table();
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(~(static_cast<uint8_t>(plain[i] - 0x49) ^ t[(base + i) % 1013]));
    return plain;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline void write(const std::wstring& path, const Bytes& b) {
    rez::write_file(path, b.data(), b.size());
}

inline Bytes read(const std::wstring& path) {
    Bytes b;
    rez::read_file(path, b);
    return b;
}

inline void write_text(const std::wstring& path, const std::string& text) {
    rez::write_file(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

inline std::string read_text(const std::wstring& path) {
    Bytes b = read(path);
    return std::string(b.begin(), b.end());
}

inline bool exists_any(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A REZ made from the file layout alone: the root holds `files` ({name, type text}) and then
// `folders`, each folder one file "f" of type txt. A root file holds "<" + name + ">", a
// folder's file "in " + the folder's name.
inline Bytes odd_names_rez(const std::vector<std::pair<std::string, std::string>>& files,
                           const std::vector<std::string>& folders) {
    Bytes payload;
    uint32_t pos = 168;
    auto add = [&](const std::string& data) {
        payload.insert(payload.end(), data.begin(), data.end());
        const std::pair<uint32_t, uint32_t> at{pos, static_cast<uint32_t>(data.size())};
        pos += at.second;
        return at;
    };
    std::vector<std::pair<uint32_t, uint32_t>> file_at, inner_at;
    for (const auto& f : files) file_at.push_back(add("<" + f.first + ">"));
    for (const auto& d : folders) inner_at.push_back(add("in " + d));
    const uint32_t root_pos = pos;
    uint32_t id = 1;
    Bytes root;
    for (size_t i = 0; i < files.size(); ++i)
        root = cat({root, file_record(file_at[i].first, file_at[i].second, id++, rez::type_text_to_u32(files[i].second),
                                      files[i].first)});
    uint32_t root_len = static_cast<uint32_t>(root.size());
    for (const auto& d : folders) root_len += static_cast<uint32_t>(dir_record(0, 0, d).size());
    uint32_t block_pos = root_pos + root_len;
    Bytes blocks;
    for (size_t i = 0; i < folders.size(); ++i) {
        const Bytes inner = file_record(inner_at[i].first, inner_at[i].second, id++, 0x00747874, "f");
        root = cat({root, dir_record(block_pos, static_cast<uint32_t>(inner.size()), folders[i])});
        blocks = cat({blocks, scramble(inner, block_pos)});
        block_pos += static_cast<uint32_t>(inner.size());
    }
    return cat({header(root_pos, root_len), payload, scramble(root, root_pos), blocks});
}

}  // namespace reztest
