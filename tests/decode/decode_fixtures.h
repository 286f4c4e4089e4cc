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

}  // namespace decodetest
