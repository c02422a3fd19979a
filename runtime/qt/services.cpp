// The runtime's pass-through services: the fonts folder's files, the read
// channels over the resource set, and random numbers.  Failures are
// reported on stderr and returned as the status.
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/files.h"
#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/report.h"

namespace lq::qt {

std::int32_t QtRuntime::DrawRandomInt(std::int32_t n) {
  if (n <= 0) return 0;
  return std::uniform_int_distribution<std::int32_t>(0, n - 1)(random_);
}

// The start tests each font path before it writes; that is when a
// temporary file left by a start that was killed while writing is removed.
std::int16_t QtRuntime::TestFileExists(const std::string& path) {
  RemoveStaleTemporaries(path);
  return ProgramFileExists(path);
}

// Messages name the file on this machine (or why there is none), never the
// program's own path for it.
int QtRuntime::WriteResourceToFile(const std::string& name, const std::string& path) {
  std::string error;
  const std::optional<std::string> local = MapProgramPath(path, &error);
  if (!local) {
    Report(error);
    return kErrNotFound;
  }
  const ResourceEntry* entry = image_.resources.Find(name);
  if (entry == nullptr) {
    Report(*local + ": cannot write it: the program has no resource " + name);
    return kErrNotFound;
  }
  std::vector<std::uint8_t> content;
  if (!ResourceSet::Content(*entry, content, &error)) {
    Report(*local + ": cannot write it: the program's resource " + name +
           " is damaged: " + error);
    return kErrIo;
  }
  const int status = WriteProgramFile(path, content, &error);
  if (status < 0) Report(error);
  return status;
}

int QtRuntime::OpenChannel(const std::string& name, std::int32_t mode,
                           std::int32_t channel) {
  const int status = channels_.Open(name, mode, channel);
  if (status < 0) Report("OpenChannel: " + channels_.last_error());
  return status;
}

std::int32_t QtRuntime::GetChannelLength(std::int32_t channel) {
  const std::int32_t length = channels_.Length(channel);
  if (length < 0) Report("GetChannelLength: " + channels_.last_error());
  return length;
}

int QtRuntime::ReadChannelString(std::int32_t count, std::int32_t channel,
                                 std::string& out) {
  const int status = channels_.Read(count, channel, out);
  if (status < 0) Report("ReadChannelString: " + channels_.last_error());
  return status;
}

int QtRuntime::CloseChannel(std::int32_t channel) {
  const int status = channels_.Close(channel);
  if (status < 0) Report("CloseChannel: " + channels_.last_error());
  return status;
}

}  // namespace lq::qt
