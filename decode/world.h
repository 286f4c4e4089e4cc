// LithTech world files (format version 85): the meshes of the render data, counted for the
// preview. Nothing is drawn.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rezui {

// Cursor over the decoded bytes. A read past the end sets `failed`, yields 0 and leaves the
// position alone; every later read yields 0 too.
struct WorldReader {
    const std::vector<uint8_t>* data = nullptr;
    size_t position = 0;
    bool failed = false;

    bool skip(uint64_t count);
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    float f32();
    // The next `count` bytes, or nullptr (and failed) when they are not all there.
    const uint8_t* take(uint64_t count);
};

using WorldWords = std::shared_ptr<const std::vector<uint32_t>>;

struct WorldSection {
    std::string name;
    WorldWords positions;  // three words per vertex, stored unchanged
    std::vector<uint32_t> indices;
    WorldWords uvs;  // two words per vertex
    std::optional<std::string> texture;
};

// The meshes cut from one section share its vertex words instead of holding copies: a
// hostile section with many texture references would otherwise multiply its memory.
struct WorldMesh {
    std::string name;
    WorldWords positions;
    std::vector<uint32_t> indices;
    WorldWords uvs;
    std::optional<std::string> texture;
    uint64_t vertex_count = 0;
    uint64_t triangle_count = 0;
};

struct WorldPreview {
    std::string title;
    std::vector<WorldMesh> meshes;
    uint64_t entry_size = 0;
    uint64_t decoded_size = 0;
    bool ok = false;
};

WorldPreview preview_lithtech_world(const std::vector<uint8_t>& bytes);
// The preview text of a world: totals, then one line per mesh (and its texture).
std::string world_preview_text(const WorldPreview& world, const std::string& entry_name,
                               uint64_t stored_size);

std::string read_world_string(WorldReader& reader);
std::string clean_texture_path(const std::string& path);
// The reference's texture name (none when all three strings are empty once cleaned) and
// how many of the section's triangles use it; false when the reader failed.
bool read_world_texture_ref(WorldReader& reader, std::optional<std::string>& texture, uint32_t& triangles);
bool read_world_render_sections(WorldReader& reader, const std::string& name, std::vector<WorldMesh>& meshes);
bool skip_world_grid_block(WorldReader& reader);

}  // namespace rezui
