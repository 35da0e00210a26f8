#include "assetdb/object_names.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace ZephPatch {
namespace {

using Testing::TempInstallation;
namespace fs = std::filesystem;

TEST(DatabaseObjectNames, DerivedFromTheLowerCasedFolder) {
    TempInstallation install;
    fs::create_directories(install.Path("Mixed Case"));
    DatabaseObjectNames names;
    ASSERT_TRUE(MakeDatabaseObjectNames(install.Path("Mixed Case/Assets.TDX"), &names));

    std::string folder = install.Root() + "/mixed case";
    for (char& c : folder)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string mutexName = "09731AC6-B611-4e2a-B181-578073F64F24/" + folder;
    EXPECT_EQ(names.mutexName, mutexName);
    EXPECT_EQ(names.mappingName, mutexName + "/-ipc2");
    std::string shared = "/" + mutexName;
    std::replace(shared.begin() + 1, shared.end(), '/', '\\');
    EXPECT_EQ(names.sharedObjectName, shared);
    EXPECT_EQ(names.sharedObjectName.find('/', 1), std::string::npos);

    // Backslashes in the path name the same folder.
    std::string windowsForm = install.Path("Mixed Case\\assets.tdx");
    DatabaseObjectNames again;
    ASSERT_TRUE(MakeDatabaseObjectNames(windowsForm, &again));
    EXPECT_EQ(again.sharedObjectName, names.sharedObjectName);
}

TEST(DatabaseObjectNames, DistinctFoldersGetDistinctObjects) {
    // "a_b" must not meet "a/b" once the separators are made legal.
    TempInstallation install;
    fs::create_directories(install.Path("a/b"));
    fs::create_directories(install.Path("a_b"));
    DatabaseObjectNames nested, flat;
    ASSERT_TRUE(MakeDatabaseObjectNames(install.Path("a/b/assets.tdx"), &nested));
    ASSERT_TRUE(MakeDatabaseObjectNames(install.Path("a_b/assets.tdx"), &flat));
    EXPECT_NE(nested.sharedObjectName, flat.sharedObjectName);
}

TEST(DatabaseObjectNames, RefusesPathsThatAreNotTheDatabase) {
    TempInstallation install;
    DatabaseObjectNames names;
    EXPECT_FALSE(MakeDatabaseObjectNames(install.Path("UserData/assets.tdx.bak"), &names));
    EXPECT_FALSE(MakeDatabaseObjectNames(install.Path("UserData/myassets.tdx"), &names));
    EXPECT_FALSE(MakeDatabaseObjectNames(install.Path("UserData/other.tdx"), &names));
    EXPECT_FALSE(MakeDatabaseObjectNames("assets.tdx", &names));
    // The first occurrence has to be the file name itself.
    fs::create_directories(install.Path("assets.tdx/UserData"));
    EXPECT_FALSE(MakeDatabaseObjectNames(install.Path("assets.tdx/UserData/assets.tdx"), &names));
    // The folder has to exist.
    EXPECT_FALSE(MakeDatabaseObjectNames(install.Path("Missing/assets.tdx"), &names));
    EXPECT_TRUE(MakeDatabaseObjectNames(install.Database(), &names));
}

TEST(DatabaseObjectNames, LongestNameIsAcceptedOneMoreIsRefused) {
    TempInstallation install;
    // mapping name = 36 prefix + "/" + folder + "/-ipc2"
    const size_t folderLength = kMaxObjectName - 36 - 1 - 6;
    const size_t pad = folderLength - install.Root().size() - 1;
    const std::string longest = install.Root() + "/" + std::string(pad, 'x');
    const std::string tooLong = longest + "y";
    fs::create_directories(longest);
    fs::create_directories(tooLong);
    DatabaseObjectNames names;
    ASSERT_TRUE(MakeDatabaseObjectNames(longest + "/assets.tdx", &names));
    EXPECT_EQ(names.mappingName.size(), kMaxObjectName);
    EXPECT_FALSE(MakeDatabaseObjectNames(tooLong + "/assets.tdx", &names));
    EXPECT_FALSE(install.database.AttachDatabase(tooLong + "/assets.tdx", false));
}

}  // namespace
}  // namespace ZephPatch
