#include "runtime/channels.h"

#include <limits>

#include "runtime/runtime.h"

namespace lq {
namespace {

constexpr std::int32_t kFirstChannel = 1;
constexpr std::int32_t kLastChannel = 255;

bool ValidChannel(std::int32_t channel) {
  return channel >= kFirstChannel && channel <= kLastChannel;
}

std::string ChannelText(std::int32_t channel) {
  return "channel " + std::to_string(channel);
}

}  // namespace

int ChannelTable::Open(const std::string& name, std::int32_t mode,
                       std::int32_t channel) {
  if (!ValidChannel(channel)) {
    last_error_ = ChannelText(channel) + " is outside 1..255";
    return kErrChannel;
  }
  if (open_.count(channel)) {
    last_error_ = ChannelText(channel) + " is already open";
    return kErrChannel;
  }
  if (mode != kChannelModeReadBinary) {
    last_error_ = "open mode " + std::to_string(mode) +
                  " is not supported; resources open for binary reading (16385)";
    return kErrChannel;
  }
  const ResourceEntry* entry = set_ ? set_->Find(name) : nullptr;
  if (!entry) {
    last_error_ = "no resource named \"" + name + "\"";
    return kErrNotFound;
  }
  Open_ slot;
  std::string why;
  if (!ResourceSet::Content(*entry, slot.content, &why)) {
    last_error_ = "resource \"" + name + "\": " + why;
    return kErrIo;
  }
  if (slot.content.size() >
      static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    last_error_ = "resource \"" + name + "\" is too long for a channel";
    return kErrIo;
  }
  open_.emplace(channel, std::move(slot));
  return kOk;
}

std::int32_t ChannelTable::Length(std::int32_t channel) const {
  const auto it = open_.find(channel);
  if (it == open_.end()) {
    last_error_ = ChannelText(channel) + " is not open";
    return kErrChannel;
  }
  return static_cast<std::int32_t>(it->second.content.size());
}

int ChannelTable::Read(std::int32_t count, std::int32_t channel,
                       std::string& out) {
  out.clear();
  const auto it = open_.find(channel);
  if (it == open_.end()) {
    last_error_ = ChannelText(channel) + " is not open";
    return kErrChannel;
  }
  if (count < 0) {
    last_error_ = "read of " + std::to_string(count) + " bytes from " +
                  ChannelText(channel);
    return kErrChannel;
  }
  Open_& slot = it->second;
  const std::size_t left = slot.content.size() - slot.position;
  if (static_cast<std::size_t>(count) > left) {
    last_error_ = "read of " + std::to_string(count) + " bytes from " +
                  ChannelText(channel) + " with only " + std::to_string(left) +
                  " left";
    return kErrChannel;
  }
  const auto* first = slot.content.data() + slot.position;
  out.assign(reinterpret_cast<const char*>(first), static_cast<std::size_t>(count));
  slot.position += static_cast<std::size_t>(count);
  return kOk;
}

int ChannelTable::Close(std::int32_t channel) {
  if (open_.erase(channel) == 0) {
    last_error_ = ChannelText(channel) + " is not open";
    return kErrChannel;
  }
  return kOk;
}

}  // namespace lq
