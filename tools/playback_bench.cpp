// Plays every embedded recording through the Qt runtime, a few rounds, with
// silence between plays, and prints how long each PlayWaveFromMemory call
// took (monotonic clock).  tools/playback-bench.sh runs it against a
// private sound server and compares these times with what the server
// actually played.
//
// Output on stdout, one tab-separated line per play:
//   play <index> <name> <rate> <channels> <frames> <length_ms> <call_ns>
//        <return_ns> <status>
// call_ns/return_ns are CLOCK_MONOTONIC readings; length_ms is the decoded
// sound's length.  With --dump DIR the decoded samples of each recording
// are written to DIR/<name>.s16 (raw signed 16-bit little-endian, the
// recording's rate and channel count), so that a capture can be compared
// with what was handed to the output.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <time.h>
#include <vector>

#include "form/tables.h"
#include "media/embedded.h"
#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/wave.h"
#include "runtime/resource_set.h"

namespace {

// The embedded recordings, as the packer stores them.
constexpr std::array<std::string_view, 28> kRecordings = {
    "alef",   "ayin",   "dalet",    "gimel",  "hey",         "chet",   "quf",
    "kafsofit", "lamed", "memsofit", "mem",   "nunsofit",    "nun",    "peysofit",
    "resh",   "samech", "tet",      "taf",    "tzadiksofit", "tzadik", "vav",
    "yud",    "zayin",  "online",   "betvet", "peyfey",      "shinsin", "kafhaf",
};

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// Waits `ms` with Qt's events handled, as the program would between sounds.
void Idle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Recording {
  std::string name;
  std::string wave;
  lq::qt::DecodedWave pcm;
};

int Usage() {
  std::cerr << "usage: lq_playback_bench [--rounds N] [--gap-ms MS] [--only NAME] "
               "[--dump DIR]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  int gap_ms = 800;
  std::string only;
  std::string dump;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (arg == "--rounds") {
      rounds = std::atoi(value);
    } else if (arg == "--gap-ms") {
      gap_ms = std::atoi(value);
    } else if (arg == "--only") {
      only = value;
    } else if (arg == "--dump") {
      dump = value;
    } else {
      return Usage();
    }
  }
  if (rounds < 1 || gap_ms < 0) return Usage();

  std::string error;
  const auto set = lq::ResourceSet::Open(lq::EmbeddedResourceSet(), &error);
  if (!set) {
    std::cerr << "lq_playback_bench: the embedded resource set: " << error << "\n";
    return 1;
  }
  std::vector<Recording> recordings;
  for (std::string_view name : kRecordings) {
    if (!only.empty() && name != only) continue;
    const std::string key = std::string(":").append(name);
    const lq::ResourceEntry* entry = set->Find(key);
    std::vector<std::uint8_t> content;
    if (entry == nullptr || !lq::ResourceSet::Content(*entry, content, &error)) {
      std::cerr << "lq_playback_bench: no usable resource " << key << "\n";
      return 1;
    }
    Recording r;
    r.name = name;
    r.wave.assign(content.begin(), content.end());
    if (!lq::qt::DecodeWave(r.wave, r.pcm, &error)) {
      std::cerr << "lq_playback_bench: " << key << " does not decode: " << error << "\n";
      return 1;
    }
    if (!dump.empty()) {
      std::ofstream out(dump + "/" + r.name + ".s16", std::ios::binary);
      out.write(reinterpret_cast<const char*>(r.pcm.samples.data()),
                static_cast<std::streamsize>(r.pcm.samples.size() * sizeof(std::int16_t)));
      if (!out) {
        std::cerr << "lq_playback_bench: cannot write into " << dump << "\n";
        return 1;
      }
    }
    recordings.push_back(std::move(r));
  }
  if (recordings.empty()) {
    std::cerr << "lq_playback_bench: no recording named " << only << "\n";
    return 2;
  }

  lq::ProgramImage image;
  image.resources = lq::EmbeddedResourceSet();
  image.event_table = lq::StoredEventTable();
  image.handlers = lq::kHandlers;
  image.control_names = lq::StoredControlNames();
  auto checked = lq::qt::CheckImage(image, &error);
  if (!checked) {
    std::cerr << "lq_playback_bench: " << error << "\n";
    return 1;
  }

  QApplication app(argc, argv);
  int failures = 0;
  {
    lq::qt::QtRuntime runtime(image, std::move(*checked));
    lq::SetRuntime(&runtime);
    std::printf("# rounds %d gap_ms %d plays %zu\n", rounds, gap_ms,
                recordings.size() * static_cast<std::size_t>(rounds));
    std::fflush(stdout);
    Idle(gap_ms);
    int index = 0;
    for (int round = 0; round < rounds; ++round) {
      for (const Recording& r : recordings) {
        const std::int64_t called = MonotonicNs();
        const int status = runtime.PlayWaveFromMemory(r.wave, 4);
        const std::int64_t returned = MonotonicNs();
        if (status != lq::kOk) ++failures;
        std::printf("play\t%d\t%s\t%d\t%d\t%lld\t%.3f\t%lld\t%lld\t%d\n", index++,
                    r.name.c_str(), r.pcm.sample_rate, r.pcm.channels,
                    static_cast<long long>(r.pcm.frames),
                    static_cast<double>(r.pcm.frames) * 1000.0 / r.pcm.sample_rate,
                    static_cast<long long>(called), static_cast<long long>(returned),
                    status);
        std::fflush(stdout);
        Idle(gap_ms);
      }
    }
    lq::SetRuntime(nullptr);
  }
  return failures == 0 ? 0 : 1;
}
