// One QApplication for a whole Qt test program, on the offscreen platform when none is chosen, with
// the user's folders (home, configuration, state, data, documents, runtime) pointed at a temporary folder
// first, so no test reads or writes the real user's settings (Qt's file dialogs keep state there).
// Compiled into each Qt test program, not archived: its registration must not be dropped by the linker.
// The application watches its thread: an event whose delivery keeps the thread from its loop longer than
// the stall threshold (VANTLE_STALL_MS, 100 ms) fails the test it happens in, with the thread's stack
// (StallWatch.h).

#include "platform/foundation/Files.h"
#include "platform/ui/WatchedApplication.h"
#include "tests/support/StallWatch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

class SharedQtTestApplicationEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = platform::makeTemporaryDirectory("vantle-qt-test-home").value();
        for (const char* folder : {"config", "state", "data", "Documents", "runtime"})
            std::filesystem::create_directories(home_ + "/" + folder);
        std::filesystem::permissions(home_ + "/runtime", std::filesystem::perms::owner_all);
        ::setenv("HOME", home_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (home_ + "/state").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
        ::setenv("XDG_DOCUMENTS_DIR", (home_ + "/Documents").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (home_ + "/runtime").c_str(), 1);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<platform::WatchedApplication>(argc_, argv_);
        testsupport::watchForStalls(*application_);
    }
    void TearDown() override {
        application_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
    }

private:
    int argc_ = 1;
    char name_[16] = "vantle-qt-test";
    char* argv_[2] = {name_, nullptr};
    std::string home_;
    std::unique_ptr<platform::WatchedApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const sharedQtTestApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new SharedQtTestApplicationEnvironment);

} // namespace
