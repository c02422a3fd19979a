// The resource set that the build packs and embeds in the executable.
#pragma once

#include <cstdint>
#include <span>

extern "C" const std::uint8_t lq_resource_set_begin[];
extern "C" const std::uint8_t lq_resource_set_end[];

namespace lq {

inline std::span<const std::uint8_t> EmbeddedResourceSet() {
  return {lq_resource_set_begin,
          static_cast<std::size_t>(lq_resource_set_end - lq_resource_set_begin)};
}

}  // namespace lq
