// "repair.cks", the summary kept between repairs (and sent whole to the server): what loads must
// save and load again to the same table, or the next repair would compare against another one.
#include "repair/file_tree_summary.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool SameRows(const ZephPatch::SummaryMap& a, const ZephPatch::SummaryMap& b) {
    if (a.size() != b.size())
        return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || i->second.checksum != j->second.checksum ||
            i->second.modifiedTime != j->second.modifiedTime)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ZephUtil;
    ZephDataBufferMemoryStatic stored(const_cast<uint8_t*>(data), static_cast<uint32_t>(size));
    ZephPatch::FileTreeSummary summary;
    (void)summary.Load(stored);  // a partial table is kept, as the repair job keeps it
    const ZephPatch::SummaryMap loaded = summary.Snapshot();
    ZephDataBufferMemoryDynamic saved;
    FUZZ_CHECK(summary.Save(saved) == kBufOk);
    FUZZ_CHECK(saved.Seek(0) == kBufOk);
    ZephPatch::FileTreeSummary reloaded;
    FUZZ_CHECK(reloaded.Load(saved) == kBufOk);
    FUZZ_CHECK(SameRows(loaded, reloaded.Snapshot()));
    return 0;
}
