#include "decode/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "archive/util.h"
#include "game_builders.h"
#include "test_support.h"

using gamefix::Bytes;
using gamefix::Writer;
using namespace rezui;

namespace {

struct Ref {
    std::string first, second, third;
    uint32_t triangles;
};

struct Section {
    std::vector<Ref> refs;
    uint32_t vertices = 3;
    std::vector<std::array<uint32_t, 3>> triangles{{0, 1, 2}};
};

void section(Writer& w, const Section& s) {
    w.zeros(24).u32(static_cast<uint32_t>(s.refs.size()));
    for (const Ref& r : s.refs) {
        w.str16(r.first).str16(r.second).u8(0).u32(r.triangles).str16(r.third).zeros(8).u32(2).zeros(2);
    }
    w.u32(s.vertices);
    for (uint32_t v = 0; v < s.vertices; ++v) w.u32(v).u32(v + 1).u32(v + 2).u32(7).u32(8).zeros(48);
    w.u32(static_cast<uint32_t>(s.triangles.size()));
    for (const auto& t : s.triangles) w.u32(t[0]).u32(t[1]).u32(t[2]).zeros(4);
    // The three skipped lists, one item each, then the 9-byte tail.
    w.u32(1).u8(2).zeros(24 + 16);
    w.u32(1).u8(1).zeros(12 + 20);
    w.u32(1).str16("blk").zeros(12).u32(3).zeros(3).u32(1).u32(1).zeros(16).u32(2).zeros(2);
    w.zeros(9);
}

Writer world_header(uint32_t version = 85) {
    Writer w;
    w.u32(version).zeros(20).u32(60).zeros(32);
    return w;
}

// One render node, then optional groups and grid blocks.
Bytes simple_world(const Section& node) {
    Writer w = world_header();
    w.u32(1);
    section(w, node);
    return w.out;
}

void grid_block(Writer& w, float x, float y, float z) {
    w.str16("grid").zeros(24).f32(x).f32(y).f32(z);
    const double product = std::round(x) * std::round(y) * std::round(z);
    w.zeros(static_cast<size_t>(product));
}

}  // namespace

TEST(World, RenderNodesGroupsAndTextures) {
    Writer w = world_header();
    w.u32(1);
    section(w, Section{});
    w.u32(1).str16("Walls").u32(1);
    Section textured;
    textured.vertices = 4;
    textured.refs = {{"", "  \"Tex\\Walls\\Brick01.dtx\" ", "", 2}, {"\"'\"", "//", "", 0}};
    textured.triangles = {{0, 1, 2}, {1, 2, 3}, {0, 2, 3}, {4, 0, 1}, {3, 2, 1}};  // the fourth is dropped
    section(w, textured);
    w.zeros(4);
    w.u32(2);
    grid_block(w, 2, 3, 0.4f);
    grid_block(w, 1000000.0f, 0, 7);
    const Bytes bytes = w.out;

    WorldPreview p = preview_lithtech_world(bytes);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.title, "LithTech DAT world v85");
    EXPECT_EQ(p.entry_size, bytes.size());
    EXPECT_EQ(p.decoded_size, bytes.size());
    ASSERT_EQ(p.meshes.size(), 3u);
    EXPECT_EQ(p.meshes[0].name, "RenderNode 1");
    EXPECT_EQ(p.meshes[0].vertex_count, 3u);
    EXPECT_EQ(p.meshes[0].triangle_count, 1u);
    EXPECT_FALSE(p.meshes[0].texture);
    EXPECT_EQ(p.meshes[1].name, "Walls #1 / Brick01");
    EXPECT_EQ(p.meshes[1].texture, "Tex/Walls/Brick01.dtx");
    EXPECT_EQ(p.meshes[1].triangle_count, 2u);
    EXPECT_EQ(p.meshes[1].vertex_count, 4u);
    // The last reference takes every triangle left once the counts run out.
    EXPECT_EQ(p.meshes[2].name, "Walls #1 / Section 2");
    EXPECT_FALSE(p.meshes[2].texture);
    EXPECT_EQ(p.meshes[2].triangle_count, 2u);
    EXPECT_EQ(p.meshes[2].indices, (std::vector<uint32_t>{0, 2, 3, 3, 2, 1}));
    // Meshes of one section share its vertex words rather than each holding a copy.
    EXPECT_EQ(p.meshes[1].positions.get(), p.meshes[2].positions.get());
    EXPECT_EQ(p.meshes[1].uvs.get(), p.meshes[2].uvs.get());
    EXPECT_EQ(*p.meshes[1].uvs, (std::vector<uint32_t>{7, 8, 7, 8, 7, 8, 7, 8}));
    EXPECT_EQ((*p.meshes[1].positions)[3], 1u);
}

TEST(World, EndsAfterRenderNodesOrInsideGroups) {
    Bytes after_nodes = simple_world(Section{});
    EXPECT_TRUE(preview_lithtech_world(after_nodes).ok);
    Bytes cut_group = after_nodes;
    Writer tail;
    tail.u32(3).u16(10).raw("Wal");  // group name cut off
    cut_group.insert(cut_group.end(), tail.out.begin(), tail.out.end());
    WorldPreview p = preview_lithtech_world(cut_group);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.meshes.size(), 1u);
}

TEST(World, RejectsBadFiles) {
    const Bytes good = simple_world(Section{});
    auto with = [&](size_t offset, uint32_t value) {
        Bytes b = good;
        rez::store_u32le(b.data() + offset, value);
        return b;
    };
    Bytes tiny = world_header().out;
    tiny.resize(59);
    Section no_triangles;
    no_triangles.triangles.clear();
    Section bad_indices;
    bad_indices.triangles = {{3, 3, 3}};
    Writer many_vertices = world_header();
    many_vertices.u32(1).zeros(24).u32(0).u32(1000001);
    Bytes cut_section = good;
    cut_section.resize(good.size() - 5);

    const std::pair<const char*, Bytes> cases[] = {
        {"59 bytes", tiny},
        {"60 bytes", world_header().out},
        {"version 84", with(0, 84)},
        {"version 86", with(0, 86)},
        {"offset below the header", with(24, 59)},
        {"offset at the end", with(24, static_cast<uint32_t>(good.size()))},
        {"node count above the limit", with(60, 100001)},
        {"no triangles", simple_world(no_triangles)},
        {"indices all out of range", simple_world(bad_indices)},
        {"vertex count above the limit", many_vertices.out},
        {"cut inside a section", cut_section},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(preview_lithtech_world(bytes).ok) << what;
}

TEST(World, GridDimensions) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::pair<float, bool> cases[] = {{1000000.0f, true}, {1000000.5f, false}, {0.4f, true},
                                            {nan, false},       {inf, false},        {-0.5f, false}};
    for (const auto& [d, ok] : cases) {
        Bytes b = simple_world(Section{});
        Writer w;
        w.u32(0).u32(1).str16("g").zeros(24).f32(d).f32(0).f32(1);
        b.insert(b.end(), w.out.begin(), w.out.end());
        EXPECT_EQ(preview_lithtech_world(b).ok, ok) << d;
    }
    // 2 x 2 x 2 bytes to skip, but only 7 there.
    Bytes b = simple_world(Section{});
    Writer w;
    w.u32(0).u32(1).str16("g").zeros(24).f32(2).f32(2).f32(2).zeros(7);
    b.insert(b.end(), w.out.begin(), w.out.end());
    EXPECT_FALSE(preview_lithtech_world(b).ok);
}

TEST(World, StringsInCodePage949) {
    Bytes data;
    Writer w;
    w.str16("\xB0\xA1 ").str16("A\xFF ").str16("  \t").str16("");
    data = w.out;
    WorldReader r{&data, 0, false};
    EXPECT_EQ(read_world_string(r), "\xEA\xB0\x80");  // valid: converted and trimmed
    EXPECT_EQ(read_world_string(r), "A\xFF ");        // invalid: raw bytes, untrimmed
    EXPECT_EQ(read_world_string(r), "");
    EXPECT_EQ(read_world_string(r), "");
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(read_world_string(r), "");
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.position, data.size());
    EXPECT_EQ(clean_texture_path(" '\"\\\\a\\b.dtx\"' "), "a/b.dtx");
}

TEST(World, LzmaFramedWorld) {
    Bytes framed;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"world_lzma.dat"), framed));
    WorldPreview p = preview_lithtech_world(framed);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.title, "LZMA-compressed LithTech DAT world v85");
    EXPECT_EQ(p.entry_size, framed.size());
    EXPECT_EQ(p.decoded_size, simple_world(Section{}).size());
    ASSERT_EQ(p.meshes.size(), 1u);
    EXPECT_EQ(p.meshes[0].name, "RenderNode 1");
}
