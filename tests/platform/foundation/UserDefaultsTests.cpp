#include "platform/foundation/UserDefaults.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <tuple>

using namespace platform;

namespace {

struct DefaultsFolder : testsupport::TemporaryFolder {
    std::string file() const { return path + "/defaults.plist"; }
};

} // namespace

TEST(UserDefaults, ValuesPersistInABinaryPropertyList) {
    DefaultsFolder folder;
    {
        UserDefaults defaults(folder.path);
        EXPECT_EQ(defaults.filePath(), folder.file());
        defaults.setString("directoryPrefix", "/home/me/Music");
        defaults.setDouble("volume", 0.75);
        defaults.setFloat("rate", 1.5f);
        defaults.setInteger("count", -3);
        defaults.setBool("loop", true);
        defaults.setData("blob", Bytes{1, 2, 3});
        defaults.setString("gone", "soon");
        defaults.removeObject("gone");
    }
    Bytes file = readFile(folder.file()).value();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "bplist00");
    PlistValue stored = parsePlist(file).value();
    std::vector<std::string> keys;
    for (const auto& entry : *stored.asDictionary())
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"directoryPrefix", "volume", "rate", "count", "loop", "blob"}));

    UserDefaults again(folder.path);
    EXPECT_EQ(std::tuple(again.string("directoryPrefix"), again.doubleValue("volume"),
                         again.floatValue("rate"), again.integer("count"), again.boolValue("loop"),
                         again.data("blob")),
              std::tuple("/home/me/Music", 0.75, 1.5f, -3, true, Bytes{1, 2, 3}));
    EXPECT_EQ(again.object("gone"), std::nullopt);
}

TEST(UserDefaults, AbsentAndConvertedValues) {
    DefaultsFolder folder;
    UserDefaults defaults(folder.path);
    EXPECT_EQ(defaults.doubleValue("nothing"), 0.0);
    EXPECT_EQ(defaults.integer("nothing"), 0);
    EXPECT_FALSE(defaults.boolValue("nothing"));
    EXPECT_EQ(defaults.string("nothing"), std::nullopt);
    EXPECT_EQ(defaults.data("nothing"), std::nullopt);

    defaults.setString("text", " 2.5 ");
    defaults.setString("yes", "YES");
    defaults.setString("junk", "abc");
    defaults.setDouble("real", -7.9);
    defaults.setInteger("int", 4);
    defaults.setBool("flag", true);
    EXPECT_EQ(defaults.doubleValue("text"), 2.5);
    EXPECT_EQ(defaults.integer("text"), 2);
    EXPECT_TRUE(defaults.boolValue("yes"));
    EXPECT_FALSE(defaults.boolValue("junk"));
    EXPECT_EQ(defaults.doubleValue("junk"), 0.0);
    EXPECT_EQ(defaults.integer("real"), -7);
    EXPECT_EQ(defaults.doubleValue("int"), 4.0);
    EXPECT_EQ(defaults.doubleValue("flag"), 1.0);
    EXPECT_EQ(defaults.string("real"), "-7.9");
    EXPECT_EQ(defaults.string("int"), "4");
    EXPECT_EQ(defaults.data("text"), std::nullopt);
    EXPECT_EQ(defaults.object("int"), PlistValue(4));
}

TEST(UserDefaults, CorruptFileReadsEmptyAndIsKeptUntilTheNextChange) {
    DefaultsFolder folder;
    Bytes garbage = {'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xFF, 0xFF};
    ASSERT_TRUE(writeFileAtomically(folder.file(), garbage).ok());

    UserDefaults defaults(folder.path);
    EXPECT_EQ(defaults.object("anything"), std::nullopt);
    ASSERT_TRUE(defaults.synchronize().ok());
    EXPECT_EQ(readFile(folder.file()).value(), garbage);

    defaults.setInteger("fresh", 1);
    PlistValue stored = parsePlist(readFile(folder.file()).value()).value();
    EXPECT_EQ(stored, PlistValue(PlistDictionary{{"fresh", 1}}));
}

TEST(UserDefaults, FailedWritesStayPendingAndInvalidTextIsRefused) {
    DefaultsFolder folder;
    // A folder below a plain file can never be created, even by root.
    ASSERT_TRUE(writeFileAtomically(folder.path + "/blocker", std::string_view("x")).ok());
    UserDefaults defaults(folder.path + "/blocker/sub");
    defaults.setInteger("kept", 9);
    EXPECT_EQ(defaults.integer("kept"), 9);
    EXPECT_FALSE(defaults.synchronize().ok());

    UserDefaults good(folder.path);
    good.setString("bad", "\xC3");
    EXPECT_EQ(good.object("bad"), std::nullopt);
    good.setString("fine", "ok");
    EXPECT_TRUE(good.synchronize().ok());
    EXPECT_EQ(UserDefaults(folder.path).string("fine"), "ok");
}

TEST(UserDefaults, StandardInstanceAndFolderLocation) {
    {
        testsupport::ScopedEnvironment environment("XDG_CONFIG_HOME", "/config/here");
        EXPECT_EQ(UserDefaults::defaultFolder(), "/config/here/com.fennorastudio.Vantle");
        environment.set("XDG_CONFIG_HOME", "relative/ignored");
        if (const char* home = std::getenv("HOME"); home && *home) {
            EXPECT_EQ(UserDefaults::defaultFolder(), std::string(home) + "/.config/com.fennorastudio.Vantle");
        }
    }
    DefaultsFolder first, second;
    UserDefaults::setStandardFolder(first.path);
    UserDefaults& standard = UserDefaults::standard();
    standard.setInteger("where", 1);
    EXPECT_TRUE(fileExists(first.file()));
    UserDefaults::setStandardFolder(second.path);
    EXPECT_EQ(&UserDefaults::standard(), &standard);
    EXPECT_EQ(standard.object("where"), std::nullopt);
    standard.setInteger("where", 2);
    EXPECT_EQ(UserDefaults(first.path).integer("where"), 1);
    EXPECT_EQ(UserDefaults(second.path).integer("where"), 2);
}

TEST(UserDefaults, ConcurrentWritersLoseNothing) {
    DefaultsFolder folder;
    UserDefaults defaults(folder.path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&defaults, t] {
            for (int i = 0; i < 10; ++i)
                defaults.setInteger("t" + std::to_string(t) + "-" + std::to_string(i), i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    UserDefaults reread(folder.path);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(reread.integer("t" + std::to_string(t) + "-" + std::to_string(i)), i);
}

TEST(UserDefaults, UrlValuesFromUrlsAndPlainPaths) {
    DefaultsFolder folder;
    UserDefaults defaults(folder.path);
    auto session = Url::fileURLWithPath("/home/me/Dance Night.vantle", false);
    defaults.setUrl("lastSessionURL", session);
    EXPECT_EQ(defaults.string("lastSessionURL"), "file:///home/me/Dance%20Night.vantle");
    EXPECT_EQ(UserDefaults(folder.path).url("lastSessionURL"), session);

    defaults.setString("plain", "/music/a b.mp3");
    EXPECT_EQ(defaults.url("plain")->absoluteString(), "file:///music/a%20b.mp3");
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        defaults.setString("tilde", "~/x.mp3");
        EXPECT_EQ(defaults.url("tilde")->path(), std::string(home) + "/x.mp3");
    }
    defaults.setString("relative", "music/x.mp3");
    EXPECT_EQ(defaults.url("relative"), std::nullopt);
    EXPECT_EQ(defaults.url("absent"), std::nullopt);
}
