// Reading the decoder tests' fixtures, and text as bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/util.h"
#include "test_support.h"

namespace decodetest {

using Bytes = std::vector<uint8_t>;

// The fixture's bytes; a missing fixture fails the calling test and gives no bytes.
inline Bytes fixture_bytes(const wchar_t* name) {
    Bytes out;
    EXPECT_TRUE(rez::read_file(qvltest::fixture(name), out)) << rez::to_utf8(name);
    return out;
}

inline Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Engine text with every feature of the engine-text score at its cap, and the given number
// of control bytes (each after a letter), padded with plain lines so that the text check
// lets the controls through. Its score is the ceiling less 10 for each control.
inline std::string ceiling_text(int controls) {
    std::string t = "<?xml version=1?>\n[textures]\nSpecularMapName=a.dtx\nNormalMapName=b.dtx\n";
    for (int i = 0; i < 10; ++i) t += "Key" + std::to_string(i) + "=t" + std::to_string(i) + ".dtx\n";
    for (int i = 0; i < controls; ++i) t += "plain words\x01\n";
    while (t.size() < 60u * static_cast<size_t>(controls)) t += "; a plain comment line\n";
    return t;
}

// Material text with 45 control bytes that each follow a byte code page 949 takes as a lead
// byte: its reading swallows them, and the text scores as if they were not there.
inline std::string lead_byte_controls_text() {
    std::string t = "[textures]\nSpecularMapName=a.dtx\nNormalMapName=b.dtx\n";
    for (int i = 0; i < 45; ++i) t += "plain words \xB0\x01 more words of a line\n";
    while (t.size() < 3000) t += "; a plain comment line\n";
    return t;
}

}  // namespace decodetest
