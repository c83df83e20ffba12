#include "core/extraction_ahead.h"

#include <windows.h>
#include <winlayer/message_boxes.h>

#include "winroot.h"
#include "zip_writer.h"

#include <filesystem>
#include <string>
#include <vector>

// Packages extracted ahead of their install steps: only in order, only once arrived, and a
// package that cannot be extracted whole leaves it and every later one to the steps.
namespace {

namespace fs = std::filesystem;
using testsupport::ZipWriter;

class ExtractionAheadTest : public testsupport::WinRootTest {
  protected:
    ExtractionAheadTest() { winlayer::testing::ResetMessageBoxes(); }

    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }

    // Three packages into C:\out, each writing shared.txt (later ones overwrite it) and a file
    // of its own.
    std::vector<ExtractionAhead::Package> ThreePackages() {
        std::vector<ExtractionAhead::Package> packages;
        for (const char* name : {"a", "b", "c"}) {
            const std::string zip = ZipWriter()
                                        .Add("shared.txt", name, ZipWriter::kDeflated)
                                        .Add(std::string(name) + ".txt", name)
                                        .Bytes();
            testsupport::WriteFileBytes(C(std::string("pkg/") + name + ".zip"), zip);
            packages.push_back({std::string("C:\\pkg\\") + name + ".zip", "C:\\out"});
        }
        return packages;
    }

    std::string Read(const std::string& relative) {
        return testsupport::ReadFileBytes(C("out/" + relative));
    }

    InstallStop stop;
};

TEST_F(ExtractionAheadTest, ExtractsWhatArrivedInOrderAndLeavesWhatDidNot) {
    auto packages = ThreePackages();
    ExtractionAhead ahead(packages, stop);
    ahead.Arrived(packages[1].archive);  // b before a: b must wait for a
    ahead.Arrived(packages[0].archive);
    ahead.Arrived("C:\\pkg\\unknown.zip");
    EXPECT_TRUE(ahead.TakeExtracted(packages[0].archive));
    EXPECT_TRUE(ahead.TakeExtracted(packages[1].archive));
    EXPECT_FALSE(ahead.TakeExtracted(packages[2].archive)) << "c never arrived";
    EXPECT_FALSE(ahead.TakeExtracted("C:\\pkg\\unknown.zip"));
    EXPECT_EQ(Read("shared.txt"), "b");
    EXPECT_EQ(Read("a.txt"), "a");
    EXPECT_FALSE(fs::exists(C("out/c.txt")));
}

TEST_F(ExtractionAheadTest, NothingIsExtractedPastAPackageThatDidNotArrive) {
    auto packages = ThreePackages();
    ExtractionAhead ahead(packages, stop);
    ahead.Arrived(packages[1].archive);
    ahead.Arrived(packages[2].archive);
    EXPECT_FALSE(ahead.TakeExtracted(packages[0].archive));
    EXPECT_FALSE(ahead.TakeExtracted(packages[1].archive));
    EXPECT_FALSE(ahead.TakeExtracted(packages[2].archive));
    EXPECT_FALSE(fs::exists(C("out")));
}

// Two packages that are one file (in another letter case): a later download would replace it
// under the extraction, so the steps extract everything themselves.
TEST_F(ExtractionAheadTest, PackagesThatAreOneFileAreNotExtractedAhead) {
    auto packages = ThreePackages();
    packages[2].archive = "C:\\PKG\\A.ZIP";
    ExtractionAhead ahead(packages, stop);
    for (const auto& package : packages)
        ahead.Arrived(package.archive);
    EXPECT_FALSE(ahead.TakeExtracted(packages[0].archive));
    EXPECT_FALSE(fs::exists(C("out")));
}

// A damaged or missing package, a file that cannot be replaced, a stop: the package and those
// after it are left to the steps, and nobody is asked anything.
TEST_F(ExtractionAheadTest, APackageThatCannotBeExtractedWholeEndsTheExtractionAhead) {
    enum Trouble { kDamaged, kMissing, kHeldFile, kStopped };
    for (Trouble trouble : {kDamaged, kMissing, kHeldFile, kStopped}) {
        SCOPED_TRACE(trouble);
        fs::remove_all(C("out"));
        auto packages = ThreePackages();
        InstallStop stopOfThisRun;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (trouble == kDamaged) {
            std::string bytes = ZipWriter().Add("b.txt", "GOOD").Add("shared.txt", "b").Bytes();
            bytes.replace(bytes.find("GOOD"), 4, "EVIL");
            testsupport::WriteFileBytes(C("pkg/b.zip"), bytes);
        } else if (trouble == kMissing) {
            fs::remove(C("pkg/b.zip"));
        } else if (trouble == kHeldFile) {
            testsupport::WriteFileBytes(C("out/b.txt"), "old");
            held = CreateFileA("C:\\out\\b.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        } else {
            stopOfThisRun.Request();
        }
        {
            ExtractionAhead ahead(packages, stopOfThisRun);
            for (const auto& package : packages)
                ahead.Arrived(package.archive);
            EXPECT_EQ(ahead.TakeExtracted(packages[0].archive), trouble != kStopped);
            EXPECT_FALSE(ahead.TakeExtracted(packages[1].archive));
            EXPECT_FALSE(ahead.TakeExtracted(packages[2].archive));
        }
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_FALSE(fs::exists(C("out/c.txt")));
        EXPECT_TRUE(winlayer::testing::ShownMessageBoxes().empty());
    }
}

// The worker leaves at a failed download without taking anything: the thread is given up and
// waited for, whatever it was doing.
TEST_F(ExtractionAheadTest, GoingAwayWithoutTakingEndsTheThread) {
    auto packages = ThreePackages();
    {
        ExtractionAhead waiting(packages, stop);
        waiting.Arrived(packages[0].archive);
    }
    { ExtractionAhead idle(packages, stop); }
    SUCCEED();
}

}  // namespace
