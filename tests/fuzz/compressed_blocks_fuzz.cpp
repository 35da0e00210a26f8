// The compressed block format (archive records, repair segments): what decodes must survive
// being compressed and decoded again unchanged.
#include "kernel/buffers/compression.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ZephUtil;
    ZephDataBufferMemoryStatic source(const_cast<uint8_t*>(data), static_cast<uint32_t>(size));
    ZephDataBufferMemoryDynamic decoded;
    if (DecompressData(decoded, source) != kBufOk)
        return 0;
    FUZZ_CHECK(decoded.Seek(0) == kBufOk);
    ZephDataBufferMemoryDynamic packed;
    FUZZ_CHECK(CompressData(packed, decoded) == kBufOk);
    FUZZ_CHECK(packed.Seek(0) == kBufOk);
    ZephDataBufferMemoryDynamic unpacked;
    FUZZ_CHECK(DecompressData(unpacked, packed) == kBufOk);
    FUZZ_CHECK(unpacked.Bytes() == decoded.Bytes());
    return 0;
}
