// One QApplication for the whole test program, on the offscreen platform when none is chosen. Qt's
// file dialogs remember their state in the user's configuration folder, so the program gets its own.

#include "platform/foundation/Files.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class PlatformUiQtApplicationEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        configFolder_ = platform::makeTemporaryDirectory("platform-ui-config").value();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(configFolder_));
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        application_.reset();
        (void)platform::removeItem(configFolder_);
    }

private:
    int argc_ = 1;
    char name_[20] = "test_platform_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
    std::string configFolder_;
};

[[maybe_unused]] ::testing::Environment* const platformUiQtApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new PlatformUiQtApplicationEnvironment);

} // namespace
