// How patiently transfers wait and retry. Each transfer call takes its own: the installer keeps
// the defaults, tests shorten them.
#pragma once

#include <chrono>
#include <string>

namespace ZephUtil {

struct TransferSettings {
    // Further attempts after a failed first one, each after `retryPause`.
    int fetchRetries = 10;
    int httpSizeRetries = 10;
    int ftpSizeRetries = 4;
    std::chrono::milliseconds retryPause{1000};
    // A connection that is not up after this long has failed.
    std::chrono::seconds connectTimeout{30};
    // A transfer or server reply that moves no byte for this long has failed: a server that
    // stops answering must not hold the installer forever.
    std::chrono::seconds stallTimeout{60};
    // Certificates that https servers are verified against; empty: the system's store.
    std::string caBundle;
};

}  // namespace ZephUtil
