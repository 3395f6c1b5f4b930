#include "app/headless/sorted_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace cantrix {
namespace {

namespace fs = std::filesystem;

// A folder larger than one batch (4096 names) gives each name once, in byte order: names with high bytes
// (UTF-8) sort after ASCII ones, capitals before small letters.
TEST(SortedFolder, GivesEveryNameOnceInByteOrderAcrossBatches)
{
    const fs::path folder = fs::temp_directory_path() / ("sorted_folder_test_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<std::string> made;
    for (int i = 0; i < 4500; ++i) {
        const char* forms[] = {"take-", "Take ", "\xc3\xa9t\xc3\xa9-", "."};
        made.push_back(forms[i % 4] + std::to_string(i * 7919 % 4500) + (i % 3 == 0 ? ".WAV" : ".wav"));
        std::ofstream(folder / made.back());
    }
    std::sort(made.begin(), made.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
    });

    SortedFolder listing(folder.string());
    std::vector<std::string> given;
    for (std::string name; listing.Next(name);)
        given.push_back(name);
    EXPECT_EQ(listing.Error(), "");
    EXPECT_EQ(given, made);

    // A folder that goes away while it is read ends the listing with the reason.
    SortedFolder gone(folder.string());
    std::string name;
    ASSERT_TRUE(gone.Next(name));
    fs::remove_all(folder);
    while (gone.Next(name)) {
    }
    EXPECT_EQ(gone.Error(), "No such file or directory");
}

} // namespace
} // namespace cantrix
