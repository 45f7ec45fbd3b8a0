#include "platform/foundation/Console.h"

#include <gtest/gtest.h>
#include <thread>

using namespace platform;

TEST(Console, CaptureCollectsLinesAndNests) {
    ScopedConsoleCapture outer;
    consolePrint("Error saving playlist");
    {
        ScopedConsoleCapture inner;
        consolePrint("inner line");
        EXPECT_EQ(inner.lines(), std::vector<std::string>{"inner line"});
    }
    consolePrint("");
    EXPECT_EQ(outer.lines(), (std::vector<std::string>{"Error saving playlist", ""}));
    outer.clear();
    EXPECT_TRUE(outer.lines().empty());
}

TEST(Console, ConcurrentPrintsStayWholeLines) {
    ScopedConsoleCapture capture;
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
