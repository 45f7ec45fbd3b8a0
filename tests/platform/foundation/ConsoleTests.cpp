#include "platform/foundation/Console.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>
#include <thread>

using namespace platform;

TEST(Console, CaptureCollectsLinesAndNests) {
    testsupport::ScopedConsoleCapture outer;
    consolePrint("Error saving playlist");
    {
        testsupport::ScopedConsoleCapture inner;
        consolePrint("inner line");
        EXPECT_EQ(inner.lines(), std::vector<std::string>{"inner line"});
    }
    consolePrint("");
    EXPECT_EQ(outer.lines(), (std::vector<std::string>{"Error saving playlist", ""}));
    outer.clear();
    EXPECT_TRUE(outer.lines().empty());
}

TEST(Console, ConcurrentPrintsStayWholeLines) {
    testsupport::ScopedConsoleCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i)
                consolePrint("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1000u);
    std::vector<int> next(4, 0);
    for (const auto& line : lines) {
        int t = line[7] - '0';
        EXPECT_EQ(line, "thread " + std::to_string(t) + " line " + std::to_string(next[t]++));
    }
}

TEST(Console, PrintsToStandardOutputWithoutCapture) {
    testing::internal::CaptureStdout();
    consolePrint("plain console line");
    consolePrint("second");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "plain console line\nsecond\n");
}

// A file name can neither split a console line nor pass as a line of its own, on the terminal as in a
// capture; a line the program means to leave empty still prints.
TEST(Console, EveryCallPrintsOneLineWhateverItQuotes) {
    const std::string faked = "can't add /m/a.mp3\n220 can't reopen /m/b\x1B[2K.wav\tend\xE9";
    const std::string shown = "can't add /m/a.mp3\\n220 can't reopen /m/b\\u001B[2K.wav\\tend\\xE9";
    {
        testsupport::ScopedConsoleCapture capture;
        consolePrint(faked);
        consolePrint("");
        EXPECT_EQ(capture.lines(), (std::vector<std::string>{shown, ""}));
    }
    testing::internal::CaptureStdout();
    consolePrint(faked);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), shown + "\n");
}
