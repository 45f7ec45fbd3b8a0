#include "platform/foundation/LogSink.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace platform;

namespace {

std::vector<std::pair<int, std::string>> logSinkTestSent;

// Formats its arguments as the C library's syslog does, and keeps the message.
void logSinkTestSend(int priority, const char* format, ...) {
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    logSinkTestSent.emplace_back(priority, message);
}

} // namespace

TEST(LogSink, CaptureReceivesRecordsWhileInstalledOnly) {
    LogCategory category("com.example.test", "general");
    testsupport::CaptureLogSink outer;
    {
        ScopedLogSink installOuter(outer);
        category.write(LogType::info, "first");
        {
            testsupport::CaptureLogSink inner;
            ScopedLogSink installInner(inner);
            category.write(LogType::error, "second");
            ASSERT_EQ(inner.records().size(), 1u);
            EXPECT_EQ(inner.records()[0],
                      (testsupport::LogRecord{"com.example.test", "general", LogType::error, "second"}));
        }
        category.write(LogType::debug, "third");
    }
    category.write(LogType::info, "to the system log");

    auto records = outer.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (testsupport::LogRecord{"com.example.test", "general", LogType::info, "first"}));
    EXPECT_EQ(records[1].text, "third");
    EXPECT_EQ(records[1].level, LogType::debug);

    outer.clear();
    EXPECT_TRUE(outer.records().empty());
}

TEST(LogSink, ConcurrentWritersKeepEveryRecordWhole) {
    testsupport::CaptureLogSink capture;
    ScopedLogSink install(capture);
    constexpr int threadCount = 4;
    constexpr int perThread = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t] {
            LogCategory category("com.example.test", "thread" + std::to_string(t));
            for (int i = 0; i < perThread; ++i)
                category.write(LogType::info, "record " + std::to_string(i));
        });
    }
    for (auto& thread : threads)
        thread.join();

    auto records = capture.records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(threadCount * perThread));
    std::vector<int> next(threadCount, 0);
    for (const auto& record : records) {
        int t = std::stoi(record.category.substr(6));
        // Each writer's records arrive in its own order.
        EXPECT_EQ(record.text, "record " + std::to_string(next[t]++));
    }
}

TEST(LogSink, SystemLogTakesTextAsArgumentNotFormat) {
    // A stand-in formats each call as syslog would: conversions in the text would read missing
    // arguments or write memory if the text were the format, and a view ends where it says.
    SyslogLogSink sink(&logSinkTestSend);
    LogCategory category("com.example.%s", "%n");
    logSinkTestSent.clear();
    for (LogType type : {LogType::info, LogType::debug, LogType::error, LogType::default_, LogType::fault})
        sink.write(category, type, "syslog smoke %s%s%s%n%n");
    sink.write(category, LogType::info, std::string_view("unterminated view", 12));
    const std::string smoke = "[com.example.%s:%n] syslog smoke %s%s%s%n%n";
    EXPECT_EQ(logSinkTestSent,
              (std::vector<std::pair<int, std::string>>{{LOG_INFO, smoke},
                                                        {LOG_DEBUG, smoke},
                                                        {LOG_ERR, smoke},
                                                        {LOG_NOTICE, smoke},
                                                        {LOG_CRIT, smoke},
                                                        {LOG_INFO, "[com.example.%s:%n] unterminated"}}));
}

TEST(LogSink, SystemLogGetsEachRecordAsOneLine) {
    // Some log daemons split a message at its line breaks: a quoted name must not make a record of its own.
    SyslogLogSink sink(&logSinkTestSend);
    LogCategory category("com.example.test", "files");
    logSinkTestSent.clear();
    sink.write(category, LogType::error, "can't open /m/a\n<3>forged record\r\u2028\xFF.wav");
    EXPECT_EQ(logSinkTestSent, (std::vector<std::pair<int, std::string>>{
                                   {LOG_ERR, "[com.example.test:files] can't open /m/a\\n<3>forged "
                                             "record\\r\\u2028\\xFF.wav"}}));
}
