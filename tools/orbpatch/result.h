#pragma once

#include <string>

namespace OrbPatch {

// Exit codes of the tool. The installer's applier gives 1 to 4 their own messages and reports
// every other non-zero code as an unknown error, so the rest only need to be distinct.
enum ExitCode : int {
    ORBPATCH_OK = 0,
    ORBPATCH_USAGE = 1,              // wrong number of arguments
    ORBPATCH_OLD_UNREADABLE = 2,     // OLD cannot be opened or read
    ORBPATCH_INPUT_UNREADABLE = 3,   // DIFF (apply) or NEW (diff) cannot be opened or read
    ORBPATCH_OUTPUT_UNWRITABLE = 4,  // OUT (apply) or DIFF (diff) cannot be created or written
    ORBPATCH_DIFF_DAMAGED = 5,       // DIFF is not a difference file or is damaged
    ORBPATCH_OLD_MISMATCH = 6,       // DIFF was made from another OLD
    ORBPATCH_INTERNAL = 7,           // out of memory or a compressor failure
};

// Outcome of one diff or apply run: the exit code and, on failure, one line saying why.
struct [[nodiscard]] Result {
    int code = ORBPATCH_OK;
    std::string message;

    [[nodiscard]] bool ok() const { return code == ORBPATCH_OK; }
    static Result Success() { return {}; }
    static Result Failure(int code, std::string message) { return {code, std::move(message)}; }
};

inline Result Damaged(const std::string& why) {
    return Result::Failure(ORBPATCH_DIFF_DAMAGED, "damaged difference file: " + why);
}

inline Result OldMismatch() {
    return Result::Failure(ORBPATCH_OLD_MISMATCH,
                           "the old file is not the one the difference was made from");
}

}  // namespace OrbPatch
