// Decoding a WAVE image held in memory into 16-bit samples (libsndfile).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lq::qt {

struct DecodedWave {
  int sample_rate = 0;
  int channels = 0;
  std::int64_t frames = 0;
  std::vector<std::int16_t> samples;  // interleaved, frames * channels

  // How long it plays, in whole milliseconds (rounded up).
  int DurationMs() const;
};

// Decodes any WAVE image that libsndfile reads (PCM, Microsoft ADPCM ...).
// Fails, with *error, on anything else: an empty or non-RIFF buffer, a
// WAVE that libsndfile cannot read, or an image shorter than its RIFF
// header says (a truncated copy).
bool DecodeWave(std::string_view image, DecodedWave& out, std::string* error);

}  // namespace lq::qt
