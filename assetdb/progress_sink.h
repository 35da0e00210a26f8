// What the asset-database steps need of the front end: the gauge, one report line and the
// user's cancel. The session's front-end interface derives from it; the GUI, the console front
// end and tests implement it.
#pragma once

#include <string>

namespace ZephPatch {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    // All of these are called from worker threads, several at once; an implementation keeps
    // the order of the calls made by one thread.
    virtual void SetGaugeRange(int range) = 0;
    virtual void SetGaugeValue(int value) = 0;
    // Levels: 0 progress detail, 1 step or result, 2 secondary information, 3 error.
    virtual void Report(int level, const std::string& utf8) = 0;
    // True once the user has cancelled the session.
    virtual bool IsCancelled() = 0;
};

}  // namespace ZephPatch
