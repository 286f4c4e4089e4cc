// RIFF WAVE sound described as text (reached through preview_other_game_format).
#pragma once

#include <cstdint>

namespace rezui {

// "PCM", "ADPCM", "IEEE float", "A-law", "mu-law", "IMA ADPCM", "MP3", "Extensible", or
// "Unknown".
const char* wave_format_name(uint16_t tag);

}  // namespace rezui
