// The uninstall log found in an installation: a log it extends must be one it recognises again,
// so that the next patch can extend it too.
#include <vector>

#include "apply/uninstall_log_format.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using ZephPatch::LogExtendResult;
    const std::vector<uint8_t> log(data, data + size);
    const std::vector<uint8_t> record = ZephPatch::DeleteFileRecord("C:\\Velmor\\bin\\added.dll");
    std::vector<uint8_t> extended;
    if (ZephPatch::ExtendUninstallLog(log, record, 1, &extended) != LogExtendResult::kOk)
        return 0;
    FUZZ_CHECK(extended.size() > log.size());
    std::vector<uint8_t> again;
    FUZZ_CHECK(ZephPatch::ExtendUninstallLog(extended, record, 1, &again) == LogExtendResult::kOk);
    FUZZ_CHECK(again.size() > extended.size());
    return 0;
}
