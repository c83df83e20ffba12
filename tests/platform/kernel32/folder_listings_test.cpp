#include "kernel32/folder_listings.h"
#include "winroot.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

using winlayer::FindInFolderIgnoringCase;

namespace {

class FolderListingsTest : public testsupport::WinRootTest {
  protected:
    std::string Folder() const { return (winroot.driveC() / "f").string(); }
    std::optional<std::string> Find(const std::string& name) const {
        return FindInFolderIgnoringCase(Folder(), name);
    }
    void Touch(const std::string& name) const {
        testsupport::WriteFileBytes(winroot.driveC() / "f" / name, "x");
    }
};

// A listing is made on the first look and then follows every change, whoever makes it.
TEST_F(FolderListingsTest, FollowsChangesAfterTheFirstLook) {
    Touch("First.txt");
    EXPECT_EQ(Find("FIRST.TXT"), "First.txt");
    EXPECT_EQ(Find("second.txt"), std::nullopt);

    Touch("Second.txt");
    EXPECT_EQ(Find("second.TXT"), "Second.txt") << "a file made after the listing";
    std::filesystem::rename(winroot.driveC() / "f/Second.txt", winroot.driveC() / "f/Third.txt");
    EXPECT_EQ(Find("second.txt"), std::nullopt) << "renamed away";
    EXPECT_EQ(Find("THIRD.txt"), "Third.txt") << "renamed here";
    std::filesystem::remove(winroot.driveC() / "f/First.txt");
    EXPECT_EQ(Find("first.txt"), std::nullopt) << "removed";

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        testsupport::WriteFileBytes(winroot.driveC() / "f/ByChild.txt", "x");
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    EXPECT_EQ(Find("bychild.TXT"), "ByChild.txt") << "made by another process";

    Touch("byCHILD.txt");
    EXPECT_EQ(Find("BYCHILD.TXT"), "ByChild.txt") << "the first in byte order of two";
}

// A process made by fork has listings of its own and leaves its parent's alone.
TEST_F(FolderListingsTest, ForkedProcessesKeepTheirOwnListings) {
    Touch("Before.txt");
    EXPECT_EQ(Find("before.txt"), "Before.txt");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child looks after a change of its parent's, and so reads the shared events.
        char go;
        bool ok = read(ready[0], &go, 1) == 1 && Find("after.txt") == "After.txt" &&
                  Find("before.txt") == "Before.txt";
        _exit(ok ? 0 : 1);
    }
    Touch("After.txt");
    ASSERT_EQ(write(ready[1], "g", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(ready[0]);
    close(ready[1]);
    Touch("Later.txt");
    EXPECT_EQ(Find("after.TXT"), "After.txt");
    EXPECT_EQ(Find("LATER.txt"), "Later.txt");
}

TEST_F(FolderListingsTest, AFolderReplacedAtTheSamePathIsListedAfresh) {
    Touch("Old.txt");
    EXPECT_EQ(Find("old.txt"), "Old.txt");
    std::filesystem::rename(winroot.driveC() / "f", winroot.driveC() / "gone");
    Touch("New.txt");
    EXPECT_EQ(Find("old.txt"), std::nullopt);
    EXPECT_EQ(Find("new.txt"), "New.txt");
    EXPECT_EQ(FindInFolderIgnoringCase((winroot.driveC() / "gone").string(), "OLD.TXT"), "Old.txt");
    EXPECT_EQ(FindInFolderIgnoringCase((winroot.driveC() / "missing").string(), "x"), std::nullopt);
}

}  // namespace
