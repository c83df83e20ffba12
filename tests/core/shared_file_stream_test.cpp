// The download's file stream and the digest that follows what it writes: a digest is only
// given for bytes written in order from the file's start.
#include "core/shared_file_stream.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "release/release_manifest.h"
#include "winroot.h"

namespace {

class SharedFileStreamTest : public testsupport::WinRootTest {
  public:
    std::string Path() const { return (winroot.driveC() / "download.zip").string(); }
};

constexpr char kAbcSha[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST_F(SharedFileStreamTest, DigestFollowsWritesInOrderWhateverTheirPieces) {
    auto digest = std::make_shared<StreamDigest>();
    {
        std::shared_ptr<std::iostream> stream = OpenSharedFileStream(Path().c_str(), digest);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(static_cast<long long>(stream->tellp()), 0);  // what the transport asks first
        stream->write("a", 1);
        stream->put('b');
        stream->write("c", 1);
        stream->flush();
    }
    EXPECT_EQ(digest->Size(), 3u);
    EXPECT_EQ(HexOf(digest->Finish()), kAbcSha);
    EXPECT_EQ(testsupport::ReadFileBytes(Path()), "abc");
    // Nothing written is the empty file's digest.
    StreamDigest nothing;
    EXPECT_EQ(HexOf(nothing.Finish()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(SharedFileStreamTest, DigestIsWithheldAfterAWriteOutOfOrder) {
    for (const std::streamoff seekTo : {0, 1, 5}) {
        auto digest = std::make_shared<StreamDigest>();
        {
            std::shared_ptr<std::iostream> stream = OpenSharedFileStream(Path().c_str(), digest);
            ASSERT_NE(stream, nullptr);
            stream->write("abc", 3);
            stream->seekp(seekTo);  // back over written bytes, or past the end
            stream->write("x", 1);
        }
        EXPECT_EQ(digest->Finish(), "") << seekTo;
    }
    // A stream without a digest writes as it always did.
    {
        std::shared_ptr<std::iostream> stream = OpenSharedFileStream(Path().c_str());
        stream->write("abc", 3);
        stream->seekp(1);
        stream->write("x", 1);
    }
    EXPECT_EQ(testsupport::ReadFileBytes(Path()), "axc");
}

}  // namespace
