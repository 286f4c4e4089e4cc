#include "decode/enc_cfg.h"

#include <array>

#include "archive/lzma.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "decode/text_decode.h"

namespace rezui {

namespace {

constexpr uint8_t kXorKey = 0xA3;
constexpr int kAcceptScore = 12;
constexpr int kStopScore = 100;
constexpr size_t kPhaseSearchLimit = 8192;
constexpr uint8_t kCipherAdd = 0x49;
constexpr size_t kLzmaOutputLimit = 0x20000000;

const std::array<int8_t, 256>& base64_table() {
    static const std::array<int8_t, 256> table = [] {
        std::array<int8_t, 256> t{};
        t.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(alphabet[i])] = static_cast<int8_t>(i);
        return t;
    }();
    return table;
}

}  // namespace

bool is_enc_entry(const std::string& name, const std::string& extension) {
    if (rez::iequals_ascii(extension, "enc")) return true;
    return name.size() >= 4 && rez::ends_with(rez::to_lower_ascii(name), ".enc");
}

bool base64_decode(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    out.clear();
    std::vector<uint8_t> unpacked;
    const std::vector<uint8_t>* src = &in;
    if (rez::is_lzma_alone_header(in.data(), in.size())) {
        if (!rez::lzma_decode(in.data(), in.size(), unpacked, kLzmaOutputLimit, 0, false)) return false;
        src = &unpacked;
    }
    if (src->empty()) return false;
    const auto& table = base64_table();
    out.reserve(src->size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int pending = 0;
    for (uint8_t b : *src) {
        const uint8_t c = b ^ kXorKey;
        if (c == '=') break;
        const int v = table[c];
        if (v < 0) break;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            out.push_back(static_cast<uint8_t>(bits >> pending));
            bits &= (1u << pending) - 1;
        }
    }
    return !out.empty();
}

std::optional<TextCandidate> describe_decoded_text(const std::string& name, const std::vector<uint8_t>& payload,
                                                   const uint8_t* candidate, size_t candidate_size,
                                                   const std::string& strategy) {
    const OptionalTextPair decoded = decode_text_auto(candidate, candidate_size);
    if (!decoded) return std::nullopt;
    const int score = score_lithtech_text(decoded->first);
    if (score < kAcceptScore) return std::nullopt;
    TextCandidate c;
    c.entry_size = payload.size();
    c.candidate_size = candidate_size;
    c.score = score;
    c.summary = strategy + " / " + decoded->second + " / score=" + std::to_string(score);
    c.text = "; decoded from " + name + "\n; " + c.summary + ", bytes " + std::to_string(c.entry_size) + " -> " +
             std::to_string(c.candidate_size) + "\n\n" + decoded->first;
    return c;
}

bool detect_ff_lanes(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 48) return false;
    std::array<bool, 256> seen{};
    size_t distinct = 0;
    size_t lane_total[3] = {}, lane_ff[3] = {}, lane_other[3] = {};
    size_t ff = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = bytes[i];
        if (!seen[b]) {
            seen[b] = true;
            ++distinct;
        }
        const size_t lane = i % 3;
        ++lane_total[lane];
        if (b == 0xFF) {
            ++lane_ff[lane];
            ++ff;
        } else {
            ++lane_other[lane];
        }
    }
    if (distinct > 96) return false;
    if (static_cast<double>(ff) / static_cast<double>(bytes.size()) < 0.55) return false;
    size_t main_lane = 0;
    if (lane_other[1] > lane_other[main_lane]) main_lane = 1;
    if (lane_other[2] > lane_other[main_lane]) main_lane = 2;
    double sum = 0;
    for (size_t lane = 0; lane < 3; ++lane) {
        if (lane == main_lane) continue;
        sum += lane_total[lane] ? static_cast<double>(lane_ff[lane]) / static_cast<double>(lane_total[lane]) : 1.0;
    }
    return sum / 2 >= 0.9;
}

std::optional<TextCandidate> decode_enc_text(const std::vector<uint8_t>& payload, const std::string& name,
                                             uint64_t lzma_limit) {
    if (payload.empty()) return std::nullopt;

    std::vector<uint8_t> working;
    bool lzma = false;
    if (rez::is_lzma_alone_header(payload.data(), payload.size())) {
        if (!rez::lzma_decode(payload.data(), payload.size(), working, lzma_limit, 0, false)) working.clear();
        lzma = !working.empty() && working.size() != payload.size();
    } else {
        working = payload;
    }

    if (auto c = describe_decoded_text(name, payload, working.data(), working.size(), lzma ? "lzma-text" : "plain-text"))
        return c;
    std::vector<uint8_t> decoded;
    if (base64_decode(working, decoded))
        if (auto c = describe_decoded_text(name, payload, decoded.data(), decoded.size(), "enc-base64")) return c;
    if (lzma && base64_decode(payload, decoded))
        if (auto c = describe_decoded_text(name, payload, decoded.data(), decoded.size(), "enc-base64")) return c;

    // Nothing to search in an empty buffer: every phase would give the same nothing.
    if (working.empty() || detect_ff_lanes(working) || working.size() > kPhaseSearchLimit) return std::nullopt;

    const std::vector<uint8_t>& table = rez::rez_crypto_table();
    if (table.empty()) return std::nullopt;
    const size_t phases = table.size();
    // The keys of every phase in one run (the table, then its start again), so that a phase
    // reads its keys straight through.
    std::vector<uint8_t> keys(phases + working.size());
    for (size_t j = 0; j < keys.size(); ++j) keys[j] = table[j % phases];
    std::optional<TextCandidate> best;
    std::vector<uint8_t> copy(working.size());
    for (size_t phase = 0; phase < phases; ++phase) {
        const uint8_t* k = keys.data() + phase;
        for (int direction = 0; direction < 2; ++direction) {
            if (direction == 0) {
                for (size_t i = 0; i < working.size(); ++i)
                    copy[i] = static_cast<uint8_t>(static_cast<uint8_t>(~working[i] ^ k[i]) + kCipherAdd);
            } else {
                for (size_t i = 0; i < working.size(); ++i)
                    copy[i] = static_cast<uint8_t>(~(static_cast<uint8_t>(working[i] - kCipherAdd) ^ k[i]));
            }
            // Nearly every phase gives noise, and its control bytes alone rule it out long
            // before the text detection would.
            if (lithtech_score_out_of_reach(copy.data(), copy.size(), kAcceptScore)) continue;
            const std::string strategy =
                (direction == 0 ? "rez-decode-phase-" : "rez-encode-phase-") + std::to_string(phase);
            auto c = describe_decoded_text(name, payload, copy.data(), copy.size(), strategy);
            if (c && (!best || c->score > best->score)) best = std::move(c);
            if (best && best->score >= kStopScore) return best;
        }
    }
    return best;
}

}  // namespace rezui
