#include "tools/orbpatch/byte_source.h"

#include <cstring>

namespace OrbPatch {

bool MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> into, std::string*) {
    if (!into.empty()) {  // an empty span may hold no pointer
        std::memcpy(into.data(), m_bytes.data() + offset, into.size());
    }
    return true;
}

}  // namespace OrbPatch
