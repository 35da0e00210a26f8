// Small file helpers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/test_folder.h"

namespace ZephTest {

using orvik_test::ReadBytes;
using orvik_test::ReadFile;
using orvik_test::TestFolder;
using orvik_test::WriteBytes;
using orvik_test::WriteFile;

[[nodiscard]] inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

}  // namespace ZephTest
