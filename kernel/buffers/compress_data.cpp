// `ZephUtil::CompressData`: the source, from its position to its end, as compressed blocks.
// Each block is deflated a piece at a time straight into the destination; its compressed
// length is patched in once known. The bytes are those of zlib's compress() at the default
// level, fed the whole block.
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

#include "kernel/buffers/block_io.h"
#include "kernel/buffers/compression.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace {

class Deflater {
public:
    Deflater() { m_ready = deflateInit(&m_stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~Deflater() {
        if (m_ready)
            deflateEnd(&m_stream);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool Ready() const { return m_ready; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

// Staging for the source and the zlib output, no larger than the source needs.
struct Pieces {
    explicit Pieces(uint64_t sourceLength)
        : inSize(static_cast<uint32_t>(std::min<uint64_t>(sourceLength, kCompressionPiece))),
          outSize(
              static_cast<uint32_t>(std::min<uint64_t>(compressBound(inSize), kCompressionPiece))),
          in(new (std::nothrow) uint8_t[inSize]),
          out(new (std::nothrow) uint8_t[outSize]) {}

    uint32_t inSize;
    uint32_t outSize;
    std::unique_ptr<uint8_t[]> in;
    std::unique_ptr<uint8_t[]> out;
};

// Deflates `length` source bytes onto the destination; the result of the first failure.
int DeflateBlock(ZephDataBuffer& destination, ZephDataBuffer& source, uint32_t length,
                 Deflater& deflater, Pieces& pieces) {
    z_stream& stream = deflater.Stream();
    deflateReset(&stream);
    uint32_t left = length;
    for (;;) {
        if (stream.avail_in == 0 && left > 0) {
            uint32_t piece = std::min(left, pieces.inSize);
            int result = source.Read(pieces.in.get(), piece);
            if (result != kBufOk)
                return result;
            left -= piece;
            stream.next_in = pieces.in.get();
            stream.avail_in = piece;
        }
        stream.next_out = pieces.out.get();
        stream.avail_out = pieces.outSize;
        int err = deflate(&stream, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (err != Z_OK && err != Z_STREAM_END && err != Z_BUF_ERROR) {
            Print("ZephUtil::CompressData> err %d", err);
            return kBufNoMemory;
        }
        uint32_t produced = pieces.outSize - stream.avail_out;
        if (produced) {
            int result = destination.Write(pieces.out.get(), produced);
            if (result != kBufOk)
                return result;
        }
        if (err == Z_STREAM_END)
            return kBufOk;
    }
}

// One block: its header with a placeholder for the compressed length, the zlib stream, then
// the length patched in. A failed block is cut off again where the destination allows it.
int CompressBlock(ZephDataBuffer& destination, ZephDataBuffer& source, uint32_t length,
                  Deflater& deflater, Pieces& pieces) {
    uint64_t start = destination.GetPosition();
    bool appending = start == destination.GetSize();
    int result = WriteUint32(destination, 0);
    if (result == kBufOk)
        result = WriteUint32(destination, length);
    if (result == kBufOk)
        result = DeflateBlock(destination, source, length, deflater, pieces);
    if (result == kBufOk) {
        uint64_t end = destination.GetPosition();
        result = destination.Seek(start);
        if (result == kBufOk) {
            result = WriteUint32(destination, static_cast<uint32_t>(deflater.Stream().total_out));
        }
        if (result == kBufOk)
            result = destination.Seek(end);
    }
    if (result != kBufOk && appending)
        (void)destination.SetSize(start);  // best effort: the failure is what counts
    return result;
}

int CompressBlocks(ZephDataBuffer& destination, ZephDataBuffer& source, uint32_t* count) {
    if (source.GetPosition() >= source.GetSize())
        return kBufOk;
    Deflater deflater;
    Pieces pieces(source.GetSize() - source.GetPosition());
    if (!pieces.in || !pieces.out || !deflater.Ready()) {
        Print("ZephUtil::CompressData> Insufficient memory to allocate buffers");
        return kBufNoMemory;
    }
    while (source.GetPosition() < source.GetSize()) {
        uint64_t remaining = source.GetSize() - source.GetPosition();
        uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(remaining, kMaxCompressedBlock));
        int result = CompressBlock(destination, source, length, deflater, pieces);
        if (result != kBufOk)
            return result;
        ++*count;
    }
    return kBufOk;
}

}  // namespace

int CompressData(ZephDataBuffer& destination, ZephDataBuffer& source) {
    uint64_t header = destination.GetPosition();
    uint32_t count = 0;
    int result = WriteUint32(destination, 0);
    if (result == kBufOk)
        result = CompressBlocks(destination, source, &count);
    // Whatever happened, the count names the whole blocks that were written; a count that
    // could not be written back fails the whole.
    int counted = destination.Seek(header);
    if (counted == kBufOk)
        counted = WriteUint32(destination, count);
    if (counted == kBufOk)
        counted = destination.Seek(destination.GetSize());
    return result != kBufOk ? result : counted;
}

}  // namespace ZephUtil
