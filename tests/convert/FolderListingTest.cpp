#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/FolderListing.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::TempFolder;
using testing::WriteFile;

TEST(FolderListing, ShowsWritableVisibleFilesAndBracketedFoldersInListBoxOrder) {
    TempFolder folder;
    for (const char* name :
         {"b.jpg", "A.png", "a.PNG", "c", ".hidden.jpg", "readonly.jpg", "target.gif"}) {
        WriteFile(folder / name, "x");
    }
    ASSERT_EQ(::chmod((folder / "readonly.jpg").c_str(), 0444), 0);
    ASSERT_EQ(::mkdir((folder / "Sub.jpg").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / ".git").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("target.gif", (folder / "link.gif").c_str()), 0);
    ASSERT_EQ(::symlink("missing", (folder / "dangling.gif").c_str()), 0);
    ASSERT_EQ(::mkfifo((folder / "pipe.jpg").c_str(), 0644), 0);

    const std::vector<std::string> expected = {"[Sub.jpg]", "A.png",    "a.PNG",     "b.jpg",
                                               "c",         "link.gif", "target.gif"};
    EXPECT_EQ(ListFolder(folder.path()), expected);
}

TEST(FolderListing, AMissingFolderListsNothing) {
    TempFolder folder;
    EXPECT_TRUE(ListFolder(folder / "gone").empty());
    WriteFile(folder / "file", "x");
    EXPECT_TRUE(ListFolder(folder / "file").empty());
}

TEST(FolderListing, OrderIgnoresAsciiCaseAndBreaksTiesByBytes) {
    EXPECT_TRUE(ListBoxOrder("apple", "Banana"));
    EXPECT_TRUE(ListBoxOrder("A", "a"));
    EXPECT_FALSE(ListBoxOrder("a", "A"));
    EXPECT_TRUE(ListBoxOrder("ab", "ABC"));
    EXPECT_TRUE(ListBoxOrder("[z]", "a"));  // "[" sorts before letters, as its byte does
}

}  // namespace
}  // namespace fotoshuttle
