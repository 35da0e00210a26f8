#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/result.h"

namespace OrbPatch {

// A block's coded bytes while its frame decodes on one thread and another thread writes the
// block: the writer takes each coded segment as soon as the decoder has reached its end.
class CodedBytes {
public:
    // False when out of memory.
    bool Allocate(size_t size);
    std::span<uint8_t> Buffer() { return {m_bytes.get(), m_size}; }

    // Decoding side: the first `size` bytes are final.
    void Reached(size_t size);
    // Decoding side: the decoder is done, with all bytes when `result` is a success.
    void Finish(const Result& result);

    // Writing side: waits until the first `size` bytes are final; false when decoding ended
    // without them.
    bool WaitFor(size_t size);
    // Writing side: waits for the decoder to finish and returns how it did.
    Result WaitForEnd();

private:
    std::unique_ptr<uint8_t[]> m_bytes;
    size_t m_size = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_reached = 0;
    std::optional<Result> m_end;
};

// A block as the decoding thread hands it on, before its frame is decoded: the record, and why
// it failed if reading it or its reference did. Neither thread changes the record afterwards.
struct PendingBlock {
    Result result;
    BlockRecord record;
    CodedBytes coded;
};

// Hands blocks from the decoding thread to the writing one, one waiting at most.
class BlockQueue {
public:
    // False once the writing side has stopped taking blocks.
    bool Push(std::shared_ptr<PendingBlock> block);
    // REQUIRES: a block is still to come.
    std::shared_ptr<PendingBlock> Pop();
    void Stop();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::shared_ptr<PendingBlock> m_waiting;
    bool m_stopped = false;
};

}  // namespace OrbPatch
