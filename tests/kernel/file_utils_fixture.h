// The fixture of the file utility tests: a fresh folder and small files in it.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/test_folder.h"

namespace ZephUtil {

class FileUtilsTest : public testing::Test {
protected:
    std::string Path(const std::string& name) { return m_temp.Path(name); }
    std::string MakeFile(const std::string& name, const std::string& contents = "x") {
        std::ofstream(Path(name), std::ios::binary) << contents;
        return Path(name);
    }

    orvik_test::TestFolder m_temp;
    const std::string m_dir = m_temp.Path();
};

}  // namespace ZephUtil
