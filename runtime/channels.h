// Read channels over the embedded resource set.
//
// A channel is opened on a resource by name (mode 0x4001: read, binary),
// reads from the resource's first byte on, and is closed again.  Misuse
// fails with a negative status: an unknown name, a channel number outside
// 1..255, an open on a channel that is already open, a mode other than
// 0x4001, any operation on a channel that is not open, a negative count or
// a read past the end (which then reads nothing).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "runtime/resource_set.h"

namespace lq {

inline constexpr std::int32_t kChannelModeReadBinary = 0x4001;

class ChannelTable {
 public:
  explicit ChannelTable(const ResourceSet* set) : set_(set) {}

  int Open(const std::string& name, std::int32_t mode, std::int32_t channel);
  std::int32_t Length(std::int32_t channel) const;  // or a negative status
  int Read(std::int32_t count, std::int32_t channel, std::string& out);
  int Close(std::int32_t channel);
  bool AnyOpen() const { return !open_.empty(); }
  // A human-readable account of the last failure, for the runtime's report.
  const std::string& last_error() const { return last_error_; }

 private:
  struct Open_ {
    std::vector<std::uint8_t> content;
    std::size_t position = 0;
  };
  const ResourceSet* set_;
  std::map<std::int32_t, Open_> open_;
  mutable std::string last_error_;  // Length, a query, records failures too
};

}  // namespace lq
