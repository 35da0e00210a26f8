// What a patch session needs of whoever shows it: the window, the console front end or a test.
// The session never touches a control itself; it calls these from its worker thread.
#pragma once

#include <string>

#include "kernel/reporter.h"

namespace ZephPatch {

// Adds to the progress sink (report line, cancel, gauge, the applier's count) the calls of a
// whole session. All are
// called from the worker (and its progress threads); an implementation hands them to its own
// thread in the order they were made, and answers the two questions before returning.
class SessionFrontEnd : public ProgressSink {
public:
    // A yes/no question; true for yes.
    [[nodiscard]] virtual bool AskYesNo(const std::string& question,
                                        const std::string& caption) = 0;
    // A message box; returns once the user has seen it.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
    // The open-file dialog; false when the user cancels, else the chosen file in `file`.
    [[nodiscard]] virtual bool ChooseFile(const std::string& title, const std::string& filter,
                                          std::string* file) = 0;
    // "Apply Update" may be pressed again (after a failure the user can fix and retry).
    virtual void EnableApplyUpdate() = 0;
    // The installation the session is patching, for the window's path line.
    virtual void ShowInstallPath(const std::string& path) = 0;
    // One patch has been applied: a cancel from now on must warn that it stays applied.
    virtual void PatchInstalled() = 0;
    // The worker has ended, whatever the result; the last call of a session.
    virtual void SessionFinished() = 0;
};

}  // namespace ZephPatch
