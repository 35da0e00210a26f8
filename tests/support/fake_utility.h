// The stand-in for the product's utility (tests/fixtures/VelmorUtil.py; on Windows the same as a
// Windows program, since Wine starts a Unix program but cannot wait for it).
#pragma once

#include <filesystem>
#include <string>

namespace orvik_test {

// Puts the stand-in at `to` (an installation's bin/VelmorUtil.exe).
inline void InstallFakeUtility(const std::string& to) {
#ifdef _WIN32
    const std::filesystem::path from = ORVIK_BINARY_DIR "/tests/fixtures/VelmorUtil.exe";
#else
    const std::filesystem::path from = ORVIK_SOURCE_DIR "/tests/fixtures/VelmorUtil.py";
#endif
    std::filesystem::copy_file(from, std::filesystem::u8path(to),
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace orvik_test
