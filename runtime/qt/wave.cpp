// Decoding a WAVE image held in memory, through libsndfile (see wave.h).
#include "runtime/qt/wave.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace lq::qt {

namespace {

// libsndfile's virtual I/O over a read-only buffer.
struct MemoryFile {
  std::string_view bytes;
  sf_count_t position = 0;
};

sf_count_t Length(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(f->bytes.size());
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = f->position;
  if (whence == SEEK_END) base = size;
  const sf_count_t target = base + offset;
  if (target < 0 || target > size) return -1;
  f->position = target;
  return f->position;
}

sf_count_t Read(void* out, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(f->bytes.size());
  const sf_count_t n = std::clamp<sf_count_t>(size - f->position, 0, count);
  std::memcpy(out, f->bytes.data() + f->position, static_cast<std::size_t>(n));
  f->position += n;
  return n;
}

sf_count_t Write(const void*, sf_count_t, void*) { return 0; }

sf_count_t Tell(void* user) { return static_cast<MemoryFile*>(user)->position; }

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

}  // namespace

int DecodedWave::DurationMs() const {
  if (sample_rate <= 0) return 0;
  return static_cast<int>((frames * 1000 + sample_rate - 1) / sample_rate);
}

bool DecodeWave(std::string_view image, DecodedWave& out, std::string* error) {
  out = DecodedWave{};
  if (image.size() < 12 || image.substr(0, 4) != "RIFF" ||
      image.substr(8, 4) != "WAVE") {
    return Fail(error, "not a RIFF WAVE image");
  }
  // libsndfile reads a cut-off copy as a shorter sound; the RIFF size
  // tells that bytes are missing.
  std::uint32_t riff_size = 0;
  for (int i = 0; i < 4; ++i) {
    riff_size |= static_cast<std::uint32_t>(static_cast<unsigned char>(image[4 + i]))
                 << (8 * i);
  }
  if (std::uint64_t{riff_size} + 8 > image.size()) {
    return Fail(error, "the WAVE image is truncated: its header gives " +
                           std::to_string(std::uint64_t{riff_size} + 8) +
                           " bytes, the buffer holds " +
                           std::to_string(image.size()));
  }

  MemoryFile file{image, 0};
  SF_VIRTUAL_IO io{&Length, &Seek, &Read, &Write, &Tell};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &file);
  if (sf == nullptr) {
    return Fail(error, std::string("libsndfile cannot read it: ") +
                           sf_strerror(nullptr));
  }
  bool ok = true;
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) {
    ok = Fail(error, "not a WAVE image");
  } else if (info.channels < 1 || info.channels > 8 || info.samplerate < 1) {
    ok = Fail(error, "unplayable layout: " + std::to_string(info.channels) +
                         " channels at " + std::to_string(info.samplerate) + " Hz");
  } else {
    out.sample_rate = info.samplerate;
    out.channels = info.channels;
    out.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    out.frames = sf_readf_short(sf, out.samples.data(), info.frames);
    if (out.frames != info.frames || sf_error(sf) != SF_ERR_NO_ERROR) {
      ok = Fail(error, std::string("libsndfile cannot decode it: ") + sf_strerror(sf));
    }
  }
  sf_close(sf);
  if (!ok) out = DecodedWave{};
  return ok;
}

}  // namespace lq::qt
