#include "RozezEru/Internals/Log.h"

#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <thread>

using namespace rozezeru;

namespace {

// The capture, with the text of its only record, which it then forgets.
struct LogTestCapture : testsupport::ToolkitLogCapture {
    std::string onlyText() {
        auto records = sink.records();
        sink.clear();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? std::string() : records.front().text;
    }
};

std::tuple<std::string, std::string, LogType> metadata(const testsupport::LogRecord& record) {
    return {record.subsystem, record.category, record.level};
}

// Counts how often it is described.
struct LogCountedItem {
    int* descriptions;
    std::string description() const {
        ++*descriptions;
        return "counted";
    }
};

struct LogStreamedItem {
    int value;
};
std::ostream& operator<<(std::ostream& stream, const LogStreamedItem& item) {
    return stream << "<" << item.value << ">";
}

enum class LogShade { dark };
std::ostream& operator<<(std::ostream& stream, LogShade) {
    return stream << "dark";
}

} // namespace

TEST(Log, RecordNamesTheSiteTwice) {
    LogTestCapture capture;
    Log(LogSite("start()", OSLog::general(), LogType::info, "/work/RozezEru/Internals/AudioEngine.swift", 42),
        "🛑 Error:", "engine", 3);
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(metadata(capture.sink.records()[0]),
              std::tuple("com.fennorastudio.RozezEru", "general", LogType::info));
    EXPECT_EQ(capture.onlyText(),
              "AudioEngine.swift:start():42:🛑 Error: engine 3 (AudioEngine.swift:start():42)");
}

TEST(Log, EdgeCasesOfTheText) {
    LogTestCapture capture;
    auto& general = OSLog::general();

    // No items: the message ends in ":".
    Log(LogSite("audition()", general, LogType::info, "a/b/Player.swift", 7));
    EXPECT_EQ(capture.onlyText(), "Player.swift:audition():7: (Player.swift:audition():7)");

    // Absent items read "nil" with single blanks around them.
    std::optional<int> none;
    std::optional<double> rate = 48000.0;
    const char* noText = nullptr;
    Log(LogSite("f()", general, LogType::info, "F.swift", 1), "a", std::nullopt, "b", none, rate, nullptr,
        noText);
    EXPECT_EQ(capture.onlyText(), "F.swift:f():1:a nil b nil 48000.0 nil nil (F.swift:f():1)");

    // A path without "/" is the file name; a path ending in "/" leaves an empty one.
    Log(LogSite("g()", general, LogType::info, "Plain.swift", 3), "x");
    EXPECT_EQ(capture.onlyText(), "Plain.swift:g():3:x (Plain.swift:g():3)");
    Log(LogSite("g()", general, LogType::info, "odd/", 3), "x");
    EXPECT_EQ(capture.onlyText(), ":g():3:x (:g():3)");

    // Empty texts are still items with their blanks.
    Log(LogSite("h()", general, LogType::info, "H.swift", 5), "", "");
    EXPECT_EQ(capture.onlyText(), "H.swift:h():5:  (H.swift:h():5)");
}

TEST(Log, ItemsAreDescribedAsInterpolationWould) {
    LogTestCapture capture;
    int counted = 0;
    auto shared = std::make_shared<LogStreamedItem>(LogStreamedItem{9});
    std::shared_ptr<LogStreamedItem> noShared;
    LogStreamedItem* noRaw = nullptr;
    std::string text = "owned";
    Log(LogSite("d()", OSLog::general(), LogType::info, "D.swift", 2), true, false, -5, 7u,
        std::int64_t{-9000000000}, std::uint8_t{200}, 'c', 2.0, 0.1f, 1e-05, text, std::string_view("view"),
        LogCountedItem{&counted}, LogStreamedItem{4}, shared, noShared, noRaw, LogShade::dark,
        std::optional<std::string>("some"));
    EXPECT_EQ(capture.onlyText(),
              "D.swift:d():2:true false -5 7 -9000000000 200 c 2.0 0.1 1e-05 owned view counted "
              "<4> <9> nil nil dark some (D.swift:d():2)");
    EXPECT_EQ(counted, 1);
}

TEST(Log, SwitchedOffWritesAndDescribesNothing) {
    LogTestCapture capture;
    int counted = 0;
    Settings::loggingEnabled = false;
    Log(LogSite("off()"), "text", LogCountedItem{&counted}, 1.5);
    Log(LogSite("off()", OSLog::midi(), LogType::error), LogCountedItem{&counted});
    EXPECT_EQ(std::pair(capture.sink.records().size(), counted), std::pair(std::size_t(0), 0));
    // The next call after switching on writes again.
    Settings::loggingEnabled = true;
    Log(LogSite("on()"), LogCountedItem{&counted});
    EXPECT_EQ(std::pair(capture.sink.records().size(), counted), std::pair(std::size_t(1), 1));
}

TEST(Log, LevelsAndCategoriesChangeOnlyTheRecordsMetadata) {
    LogTestCapture capture;
    Log(LogSite("same()", OSLog::settings(), LogType::info, "S.swift", 9), "status", -10878);
    Log(LogSite("same()", OSLog::settings(), LogType::error, "S.swift", 9), "status", -10878);
    Log(LogSite("same()", OSLog::fileHandling(), LogType::debug, "S.swift", 9), "status", -10878);
    auto records = capture.sink.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(std::pair(records[1].text, records[2].text), std::pair(records[0].text, records[0].text));
    const std::string subsystem = "com.fennorastudio.RozezEru";
    EXPECT_EQ((std::vector{metadata(records[0]), metadata(records[1]), metadata(records[2])}),
              (std::vector{std::tuple(subsystem, std::string("settings"), LogType::info),
                           std::tuple(subsystem, std::string("settings"), LogType::error),
                           std::tuple(subsystem, std::string("fileHandling"), LogType::debug)}));
}

TEST(Log, CallSiteDefaultsToThisFileAndLine) {
    LogTestCapture capture;
    int line = __LINE__ + 1;
    Log(LogSite("defaults()"), "here");
    Log(LogSite("midi()", OSLog::midi()), "m");
    Log(LogSite("err()", LogType::error), "e");
    auto records = capture.sink.records();
    ASSERT_EQ(records.size(), 3u);
    std::string location = "LogTests.cpp:defaults():" + std::to_string(line);
    EXPECT_EQ(records[0].text, location + ":here (" + location + ")");
    EXPECT_EQ((std::vector{std::pair(records[0].category, records[0].level),
                           std::pair(records[1].category, records[1].level),
                           std::pair(records[2].category, records[2].level)}),
              (std::vector<std::pair<std::string, LogType>>{
                  {"general", LogType::info}, {"midi", LogType::info}, {"general", LogType::error}}));
}

TEST(Log, CategoriesAreMadeOnceAndShared) {
    std::vector<std::thread> threads;
    std::vector<const platform::LogCategory*> results(8);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&results, t] { results[t] = &OSLog::midi(); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(results, std::vector(8, &OSLog::midi()));

    for (auto [category, name] : {std::pair{&OSLog::general(), "general"},
                                  {&OSLog::settings(), "settings"},
                                  {&OSLog::midi(), "midi"},
                                  {&OSLog::fileHandling(), "fileHandling"}}) {
        EXPECT_EQ(std::pair(category->category(), category->subsystem()),
                  std::pair(std::string(name), std::string("com.fennorastudio.RozezEru")));
    }
}
