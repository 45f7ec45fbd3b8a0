#include "Source/session/Bookmark.h"
#include "platform/foundation/PropertyList.h"
#include "tests/Source/session/SessionFakes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vantle {

// A path holding a NUL byte names no file, whether or not the path cut at the NUL exists and
// whether or not the folder holds a file with the recorded device and inode.
TEST(BookmarkHostile, APathWithANulByteResolvesToNothing) {
    testing::SessionTempFolder folder;
    testing::writeSilentWav(folder.url("a"), 0.1);
    struct stat info {};
    ASSERT_EQ(::stat((folder.path + "/a").c_str(), &info), 0);
    const auto device = static_cast<std::int64_t>(info.st_dev);
    const auto inode = static_cast<std::int64_t>(info.st_ino);
    struct Case {
        std::string path;
        std::int64_t device, inode;
    };
    for (const Case& bad : {Case{folder.path + std::string("/a\0b.mp3", 8), 1, 2},
                            Case{folder.path + std::string("/a\0b.mp3", 8), device, inode},
                            Case{folder.path + std::string("/gone\0b.mp3", 11), device, inode}}) {
        const auto bytes = platform::serializeBinaryPlist(
            platform::PlistDictionary{{"path", bad.path}, {"device", bad.device}, {"inode", bad.inode}});
        ASSERT_TRUE(bytes.ok());
        const std::optional<platform::Url> resolved = resolveBookmark(*bytes);
        EXPECT_FALSE(resolved) << "\"" << resolved->absoluteString() << "\" for " << bad.device;
    }
}

} // namespace vantle
