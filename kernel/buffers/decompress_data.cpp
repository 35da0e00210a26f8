// `ZephUtil::DecompressData`: compressed blocks back into bytes. Each block is inflated a
// piece at a time straight into the destination, so memory stays small whatever the block
// size, and every length is checked against what the source really holds before use.
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

#include "kernel/buffers/block_io.h"
#include "kernel/buffers/compression.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace {

class Inflater {
public:
    Inflater() { m_ready = inflateInit(&m_stream) == Z_OK; }
    ~Inflater() {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool Ready() const { return m_ready; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

struct Block {
    uint32_t compressedLength;
    uint32_t length;
};

// Staging for one block's compressed and decoded bytes, no larger than the block needs.
struct Pieces {
    explicit Pieces(const Block& block)
        : inSize(std::max(1u, std::min(block.compressedLength, kCompressionPiece))),
          outSize(std::max(1u, std::min(block.length, kCompressionPiece))),
          in(new (std::nothrow) uint8_t[inSize]),
          out(new (std::nothrow) uint8_t[outSize]) {}

    uint32_t inSize;
    uint32_t outSize;
    std::unique_ptr<uint8_t[]> in;
    std::unique_ptr<uint8_t[]> out;
};

int ZlibFailure(int err, const Block& block, uint32_t produced) {
    Print("ZephUtil::DecompressData> err %d", err);
    Print("ZephUtil::DecompressData> srcLen=%d, dstLen=%d, actualDstLen=%d",
          static_cast<int>(block.compressedLength), static_cast<int>(block.length),
          static_cast<int>(produced));
    return kBufNoMemory;
}

int ReadFailure(int result) {
    Print("ZephUtil::DecompressData> ReadData returned %d", result);
    return result;
}

// Reads the next piece of the block's compressed bytes into zlib's input.
int FeedInput(ZephDataBuffer& source, z_stream& stream, Pieces& pieces, uint32_t* unread) {
    uint32_t piece = std::min(*unread, pieces.inSize);
    int result = source.Read(pieces.in.get(), piece);
    if (result != kBufOk)
        return ReadFailure(result);
    *unread -= piece;
    stream.next_in = pieces.in.get();
    stream.avail_in = piece;
    return kBufOk;
}

// Inflates one block whose header has been read and checked. Decoded bytes go out a piece at
// a time; a block that fits in one piece is written only once it proved sound. Failures map
// as zlib's uncompress() reports them: more output than declared is Z_BUF_ERROR, a stream
// that ends early in its input is Z_DATA_ERROR.
int InflateBlock(ZephDataBuffer& destination, ZephDataBuffer& source, const Block& block,
                 z_stream& stream) {
    Pieces pieces(block);
    if (!pieces.in || !pieces.out)
        return kBufNoMemory;
    inflateReset(&stream);
    stream.avail_in = 0;
    uint32_t unread = block.compressedLength;
    uint32_t room = block.length;  // declared bytes not decoded yet
    uint32_t pending = 0;          // decoded bytes not written yet
    for (;;) {
        if (stream.avail_in == 0 && unread > 0) {
            int result = FeedInput(source, stream, pieces, &unread);
            if (result != kBufOk)
                return result;
        }
        uint32_t space = std::min(pieces.outSize - pending, room);
        stream.next_out = pieces.out.get() + pending;
        stream.avail_out = space;
        int err = inflate(&stream, Z_NO_FLUSH);
        pending += space - stream.avail_out;
        room -= space - stream.avail_out;
        if (err == Z_STREAM_END)
            break;
        if (err == Z_BUF_ERROR && stream.avail_in == 0 && unread > 0)
            continue;
        if (err == Z_BUF_ERROR)
            err = stream.avail_in == 0 && room > 0 ? Z_DATA_ERROR : Z_BUF_ERROR;
        if (err == Z_NEED_DICT)
            err = Z_DATA_ERROR;
        if (err != Z_OK)
            return ZlibFailure(err, block, block.length - room);
        // The last piece waits until the stream proved to end exactly there.
        if (pending == pieces.outSize && room > 0) {
            int result = destination.Write(pieces.out.get(), pending);
            if (result != kBufOk)
                return result;
            pending = 0;
        }
    }
    // Bytes after the end of the zlib stream still belong to the block.
    while (unread > 0) {
        int result = FeedInput(source, stream, pieces, &unread);
        if (result != kBufOk)
            return result;
    }
    if (room != 0)
        return kBufOutOfRange;
    return pending ? destination.Write(pieces.out.get(), pending) : kBufOk;
}

// Reads and checks a block header: the declared length within the format's limit and the
// compressed bytes present in the source, before anything is allocated for them.
int ReadBlockHeader(ZephDataBuffer& source, Block* block) {
    int result = ReadUint32(source, &block->compressedLength);
    if (result == kBufOk)
        result = ReadUint32(source, &block->length);
    if (result != kBufOk)
        return result;
    if (block->length > kMaxCompressedBlock) {
        Print("ZephUtil::DecompressData> block length %u beyond the limit", block->length);
        return kBufOutOfRange;
    }
    uint64_t size = source.GetSize();
    uint64_t position = source.GetPosition();
    if (position > size || block->compressedLength > size - position)
        return ReadFailure(kBufOutOfRange);
    return kBufOk;
}

}  // namespace

int DecompressData(ZephDataBuffer& destination, ZephDataBuffer& source) {
    uint32_t count = 0;
    int result = ReadUint32(source, &count);
    if (result != kBufOk || count == 0)
        return result;
    Inflater inflater;
    if (!inflater.Ready())
        return kBufNoMemory;
    for (uint32_t i = 0; i < count && result == kBufOk; ++i) {
        Block block;
        result = ReadBlockHeader(source, &block);
        if (result == kBufOk)
            result = InflateBlock(destination, source, block, inflater.Stream());
    }
    return result;
}

int SkipCompressedData(ZephDataBuffer& source, uint64_t* length) {
    *length = 0;
    uint32_t count = 0;
    int result = ReadUint32(source, &count);
    for (uint32_t i = 0; i < count && result == kBufOk; ++i) {
        Block block;
        result = ReadBlockHeader(source, &block);
        if (result == kBufOk) {
            *length += block.length;
            result = source.Seek(source.GetPosition() + block.compressedLength);
        }
    }
    return result;
}

}  // namespace ZephUtil
