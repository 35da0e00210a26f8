#include "transfer/transfer_settings.h"

#include <mutex>

namespace ZephUtil {
namespace {

std::mutex g_settingsLock;
TransferSettings g_settings;

}  // namespace

TransferSettings GetTransferSettings() {
    std::lock_guard<std::mutex> lock(g_settingsLock);
    return g_settings;
}

void SetTransferSettings(const TransferSettings& settings) {
    std::lock_guard<std::mutex> lock(g_settingsLock);
    g_settings = settings;
}

}  // namespace ZephUtil
