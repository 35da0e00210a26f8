// Names of hosts to addresses, through the system's resolver.
#pragma once

#include <cstdint>
#include <string>

namespace ZephUtil {

// The first IPv4 address of `host` (a name or a dotted address), in host byte order. False
// when the lookup fails or the host has no IPv4 address. Blocks while the resolver works.
[[nodiscard]] bool LookUpHostIPv4(const std::string& host, uint32_t* address);

}  // namespace ZephUtil
