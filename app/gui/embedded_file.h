// Bytes of a file compiled into the program (see orvik_embed_files in cmake/).
#pragma once

#include <cstddef>

namespace ZephPatch {

struct EmbeddedFile {
    const unsigned char* data;
    size_t size;
};

}  // namespace ZephPatch
