#include "decode/world.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "archive/lzma.h"
#include "archive/util.h"

namespace rezui {
namespace {

constexpr uint32_t kWorldVersion = 85;
constexpr size_t kHeaderSize = 60;
constexpr uint32_t kMaxItems = 100000;
constexpr uint32_t kMaxVertices = 1000000;
constexpr size_t kLzmaCap = 0x20000000;
constexpr size_t kVertexSize = 68;
constexpr size_t kTriangleSize = 16;
constexpr float kMaxGridDimension = 1000000.0f;

// Strict code page 949: an invalid sequence fails the conversion instead of turning into
// the code page's default character, so that such names are shown as their raw bytes.
bool cp949_strict_to_utf8(const uint8_t* bytes, size_t length, std::string& out) {
    out.clear();
    if (length == 0) return true;
    const char* src = reinterpret_cast<const char*>(bytes);
    const int n = MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, src, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, src, static_cast<int>(length), wide.data(), n) != n)
        return false;
    out = rez::to_utf8(wide);
    return !out.empty();
}

bool skip_string(WorldReader& r) { return r.skip(r.u16()); }

bool skip_point_lists(WorldReader& r, uint64_t tail) {
    const uint32_t count = r.u32();
    if (count > kMaxItems) return false;
    for (uint32_t i = 0; i < count && !r.failed; ++i) {
        const uint8_t n = r.u8();
        r.skip(uint64_t{n} * 12);
        r.skip(tail);
    }
    return !r.failed;
}

bool skip_named_blocks(WorldReader& r) {
    const uint32_t count = r.u32();
    if (count > kMaxItems) return false;
    for (uint32_t i = 0; i < count && !r.failed; ++i) {
        skip_string(r);
        r.skip(12);
        r.skip(r.u32());
        const uint32_t subs = r.u32();
        if (subs > kMaxItems) return false;
        for (uint32_t s = 0; s < subs && !r.failed; ++s) {
            const uint32_t k = r.u32();
            if (k > kMaxItems) return false;
            for (uint32_t j = 0; j < k && !r.failed; ++j) {
                r.skip(16);
                r.skip(r.u32());
            }
        }
    }
    return !r.failed;
}

std::string texture_base(const std::string& texture) {
    const size_t slash = texture.find_last_of("/\\");
    std::string base = slash == std::string::npos ? texture : texture.substr(slash + 1);
    const size_t dot = base.find('.');
    if (dot != std::string::npos) base.resize(dot);
    return base;
}

}  // namespace

bool WorldReader::skip(uint64_t count) {
    take(count);
    return !failed;
}

const uint8_t* WorldReader::take(uint64_t count) {
    if (failed || !data) {
        failed = true;
        return nullptr;
    }
    const size_t size = data->size();
    if (position > size || count > size - position) {
        failed = true;
        return nullptr;
    }
    const uint8_t* p = data->data() + position;
    position += static_cast<size_t>(count);
    return p;
}

uint8_t WorldReader::u8() {
    const uint8_t* p = take(1);
    return p ? p[0] : 0;
}

uint16_t WorldReader::u16() {
    const uint8_t* p = take(2);
    return p ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : 0;
}

uint32_t WorldReader::u32() {
    const uint8_t* p = take(4);
    return p ? rez::load_u32le(p) : 0;
}

float WorldReader::f32() {
    const uint32_t bits = u32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string read_world_string(WorldReader& reader) {
    const uint16_t length = reader.u16();
    const uint8_t* p = reader.take(length);
    if (!p) return {};
    std::string text;
    if (cp949_strict_to_utf8(p, length, text)) {
        text = rez::trim(text);
        if (text.size() < 3 || text.find("\xEF\xBF\xBD") == std::string::npos) return text;
    }
    return rez::bytes_to_string(p, length);
}

std::string clean_texture_path(const std::string& path) {
    std::string s = rez::trim(path);
    size_t start = 0;
    while (start < s.size() && (s[start] == '"' || s[start] == '\'')) ++start;
    s.erase(0, start);
    while (!s.empty() && (s.back() == '"' || s.back() == '\'')) s.pop_back();
    for (char& c : s)
        if (c == '\\') c = '/';
    start = 0;
    while (start < s.size() && s[start] == '/') ++start;
    s.erase(0, start);
    return s;
}

bool read_world_texture_ref(WorldReader& reader, std::optional<std::string>& texture, uint32_t& triangles) {
    const std::string first = clean_texture_path(read_world_string(reader));
    const std::string second = clean_texture_path(read_world_string(reader));
    reader.skip(1);
    triangles = reader.u32();
    const std::string third = clean_texture_path(read_world_string(reader));
    reader.skip(8);
    reader.skip(reader.u32());
    texture.reset();
    for (const std::string* s : {&first, &second, &third}) {
        if (!s->empty()) {
            texture = *s;
            break;
        }
    }
    return !reader.failed;
}

bool read_world_render_sections(WorldReader& reader, const std::string& name,
                                std::vector<WorldMesh>& meshes) {
    struct Reference {
        std::optional<std::string> texture;
        uint32_t triangles = 0;
        std::vector<uint32_t> indices;
    };
    reader.skip(24);
    const uint32_t ref_count = reader.u32();
    if (ref_count > kMaxItems || reader.failed) return false;
    // Each reference takes at least 23 bytes: three string lengths, its counts and skips.
    if (uint64_t{ref_count} * 23 > reader.data->size() - reader.position) return false;
    std::vector<Reference> refs(ref_count);
    for (Reference& ref : refs)
        if (!read_world_texture_ref(reader, ref.texture, ref.triangles)) return false;

    const uint32_t vertex_count = reader.u32();
    if (vertex_count > kMaxVertices || reader.failed) return false;
    const size_t left = reader.data->size() - reader.position;
    if (uint64_t{vertex_count} * kVertexSize > left) return false;  // cut off: no need to read on
    auto positions = std::make_shared<std::vector<uint32_t>>();
    auto uvs = std::make_shared<std::vector<uint32_t>>();
    positions->reserve(size_t{vertex_count} * 3);
    uvs->reserve(size_t{vertex_count} * 2);
    for (uint32_t v = 0; v < vertex_count; ++v) {
        const uint8_t* p = reader.take(kVertexSize);
        if (!p) return false;
        for (int w = 0; w < 3; ++w) positions->push_back(rez::load_u32le(p + 4 * w));
        for (int w = 3; w < 5; ++w) uvs->push_back(rez::load_u32le(p + 4 * w));
    }

    const uint32_t triangle_count = reader.u32();
    if (triangle_count > kMaxVertices || reader.failed) return false;
    if (uint64_t{triangle_count} * kTriangleSize > reader.data->size() - reader.position) return false;
    std::vector<uint32_t> untextured;
    size_t current = 0;
    uint32_t remaining = refs.empty() ? 0 : refs[0].triangles;
    for (uint32_t t = 0; t < triangle_count; ++t) {
        const uint8_t* p = reader.take(kTriangleSize);
        if (!p) return false;
        const uint32_t a = rez::load_u32le(p), b = rez::load_u32le(p + 4), c = rez::load_u32le(p + 8);
        while (!refs.empty() && remaining == 0 && current + 1 < refs.size())
            remaining = refs[++current].triangles;
        if (a < vertex_count && b < vertex_count && c < vertex_count) {
            std::vector<uint32_t>& list = refs.empty() ? untextured : refs[current].indices;
            list.insert(list.end(), {a, b, c});
        }
        if (!refs.empty() && remaining > 0) --remaining;
    }

    if (!skip_point_lists(reader, 16) || !skip_point_lists(reader, 20) || !skip_named_blocks(reader))
        return false;
    reader.skip(9);
    if (reader.failed) return false;
    if (vertex_count == 0) return true;

    auto add = [&](std::string mesh_name, std::vector<uint32_t> indices, std::optional<std::string> texture) {
        WorldMesh m;
        m.name = std::move(mesh_name);
        m.positions = positions;
        m.uvs = uvs;
        m.triangle_count = indices.size() / 3;
        m.vertex_count = positions->size() / 3;
        m.indices = std::move(indices);
        m.texture = std::move(texture);
        meshes.push_back(std::move(m));
    };
    if (untextured.size() >= 3) add(name, std::move(untextured), std::nullopt);
    for (size_t k = 0; k < refs.size(); ++k) {
        Reference& ref = refs[k];
        if (ref.indices.size() < 3) continue;
        if (!ref.texture) {
            add(name + " / Section " + std::to_string(k + 1), std::move(ref.indices), std::nullopt);
        } else {
            add(name + " / " + texture_base(*ref.texture), std::move(ref.indices), ref.texture);
        }
    }
    return true;
}

bool skip_world_grid_block(WorldReader& reader) {
    skip_string(reader);
    reader.skip(24);
    uint64_t product = 1;
    for (int i = 0; i < 3; ++i) {
        const float d = reader.f32();
        if (!std::isfinite(d) || d < 0.0f || d > kMaxGridDimension) return false;
        product *= static_cast<uint64_t>(std::round(static_cast<double>(d)));
    }
    reader.skip(product);
    return !reader.failed;
}

std::string world_preview_text(const WorldPreview& world, const std::string& entry_name,
                               uint64_t stored_size) {
    uint64_t vertices = 0, triangles = 0;
    for (const WorldMesh& m : world.meshes) {
        vertices += m.vertex_count;
        triangles += m.triangle_count;
    }
    std::string out =
        "; World: " + entry_name + "\n; " + world.title +
        "\n; Meshes: " + std::to_string(world.meshes.size()) + ", Vertices: " + std::to_string(vertices) +
        ", Triangles: " + std::to_string(triangles) + "\n; Bytes: " + std::to_string(stored_size) + " -> " +
        std::to_string(world.decoded_size) + "\n\n";
    for (const WorldMesh& m : world.meshes) {
        out += "Mesh: " + m.name + ", Vertices=" + std::to_string(m.vertex_count) +
               ", Triangles=" + std::to_string(m.triangle_count) + "\n";
        if (m.texture) out += "  Texture: " + *m.texture + "\n";
    }
    return out;
}

WorldPreview preview_lithtech_world(const std::vector<uint8_t>& bytes) {
    WorldPreview result;
    std::vector<uint8_t> unpacked;
    const bool lzma = rez::is_lzma_alone_header(bytes.data(), bytes.size());
    if (lzma && !rez::lzma_decode(bytes.data(), bytes.size(), unpacked, kLzmaCap)) return result;
    const std::vector<uint8_t>& data = lzma ? unpacked : bytes;
    if (data.size() < kHeaderSize || rez::load_u32le(data.data()) != kWorldVersion) return result;
    const uint32_t offset = rez::load_u32le(data.data() + 24);
    if (offset < kHeaderSize || offset >= data.size()) return result;

    WorldReader reader{&data, offset, false};
    std::vector<WorldMesh> meshes;
    const uint32_t nodes = reader.u32();
    if (nodes > kMaxItems) return result;
    for (uint32_t i = 0; i < nodes; ++i)
        if (!read_world_render_sections(reader, "RenderNode " + std::to_string(i + 1), meshes)) return result;

    // The world may end anywhere in the group list; what was read so far is shown.
    const uint32_t groups = reader.u32();
    if (groups > kMaxItems) return result;
    for (uint32_t g = 0; g < groups && !reader.failed; ++g) {
        const std::string group = read_world_string(reader);
        const uint32_t sections = reader.u32();
        if (sections > kMaxItems) return result;
        if (reader.failed) break;
        for (uint32_t s = 0; s < sections; ++s)
            if (!read_world_render_sections(reader, group + " #" + std::to_string(s + 1), meshes))
                return result;
        reader.skip(4);
    }

    const uint32_t blocks = reader.u32();
    if (blocks > kMaxItems) return result;
    for (uint32_t b = 0; b < blocks && !reader.failed; ++b)
        if (!skip_world_grid_block(reader)) return result;

    if (meshes.empty()) return result;
    const std::string version = std::to_string(kWorldVersion);
    result.title =
        (data.size() == bytes.size() ? "LithTech DAT world v" : "LZMA-compressed LithTech DAT world v") +
        version;
    result.meshes = std::move(meshes);
    result.entry_size = bytes.size();
    result.decoded_size = data.size();
    result.ok = true;
    return result;
}

}  // namespace rezui
