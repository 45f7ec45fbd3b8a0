#include "platform/ui/Alerts.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace platform;
using platform_ui_test::settleEvents;

namespace {

QAbstractButton* buttonTitled(QMessageBox& box, const QString& title) {
    for (QAbstractButton* button : box.buttons())
        if (button->text() == title) return button;
    return nullptr;
}

} // namespace

// An alert on a shown window, with its answers recorded.
class QtAlertSheet : public ::testing::Test {
protected:
    QtAlertSheet() { window.show(); }
    void TearDown() override { settleEvents(); }

    QMessageBox* begin(AlertOptions options) {
        alerts.beginAlert(&window, std::move(options), [this](int button) { answers.push_back(button); });
        return window.findChild<QMessageBox*>();
    }

    QWidget window;
    QtAlerts alerts;
    std::vector<int> answers;
};

TEST_F(QtAlertSheet, AnAlertIsASheetOnItsWindowAndAnswersOnceWithTheClickedButton) {
    QMessageBox* box = begin({"Move all 3 other entries?", "They moved too.", {"OK", "Cancel"}});
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(answers.empty());
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "Move all 3 other entries?");
    EXPECT_EQ(box->informativeText(), "They moved too.");
    ASSERT_EQ(box->buttons().size(), 2);
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->defaultButton()->text(), "OK");

    QTest::mouseClick(buttonTitled(*box, "Cancel"), Qt::LeftButton);
    EXPECT_EQ(answers, std::vector<int>{1});
    settleEvents();
    EXPECT_EQ(window.findChild<QMessageBox*>(), nullptr);
    EXPECT_EQ(answers, std::vector<int>{1});
}

TEST_F(QtAlertSheet, KeysAndClosesFromOutsideAnswerTheButtonsTheyStandFor) {
    enum Act { escape, enter, clickLast, closeTwice };
    const std::vector<std::string> replace = {"Replace", "Cancel", "Keep Both"},
                                   save = {"Save", "Don't Save"};
    using Case = std::tuple<std::vector<std::string>, AlertStyle, Act, std::vector<int>, QMessageBox::Icon>;
    const Case cases[] = {
        {replace, AlertStyle::warning, escape, {1}, QMessageBox::Warning},
        {replace, AlertStyle::warning, enter, {0}, QMessageBox::Warning},
        {replace, AlertStyle::warning, clickLast, {2}, QMessageBox::Warning},
        // Without a "Cancel", Escape does nothing and a close from outside answers the last button.
        {save, AlertStyle::warning, escape, {}, QMessageBox::Warning},
        {save, AlertStyle::warning, closeTwice, {1}, QMessageBox::Warning},
        {{"OK", "Cancel"}, AlertStyle::informational, closeTwice, {1}, QMessageBox::Information},
        // No buttons given: one "OK", which Escape answers too.
        {{}, AlertStyle::critical, escape, {0}, QMessageBox::Critical},
    };
    int row = 0;
    for (const auto& [buttons, style, act, expected, icon] : cases) {
        SCOPED_TRACE(row++);
        answers.clear();
        QMessageBox* box = begin({"Replace?", "", buttons, style});
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), icon);
        EXPECT_EQ(box->buttons().size(), qsizetype(std::max<std::size_t>(buttons.size(), 1)));
        if (act == clickLast)
            QTest::mouseClick(buttonTitled(*box, QString::fromStdString(buttons.back())), Qt::LeftButton);
        if (act == escape || act == enter)
            QTest::keyClick(box, act == escape ? Qt::Key_Escape : Qt::Key_Return);
        for (int close = 0; act == closeTwice && close < 2; ++close)
            box->done(QDialog::Rejected);
        EXPECT_EQ(answers, expected);
        EXPECT_EQ(box->isVisible(), expected.empty());
        if (box->isVisible()) box->done(QDialog::Rejected);
        settleEvents();
    }
    EXPECT_EQ(begin({"Note", "", {}})->buttons().front()->text(), "OK");
}

TEST(QtAlerts, WithoutAWindowTheAlertBlocksTheApplication) {
    QtAlerts alerts;
    std::vector<int> answers;
    alerts.beginAlert(nullptr, {"Alone", "", {"OK"}}, [&](int button) { answers.push_back(button); });
    auto* box = platform_ui_test::visibleTopLevel<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(answers, std::vector<int>{0});
    settleEvents();
}

TEST(QtAlerts, AnAlertWhoseWindowGoesAwayNeverAnswers) {
    QtAlerts alerts;
    bool answered = false;
    {
        QWidget window;
        window.show();
        alerts.beginAlert(&window, {"Gone", "", {"OK", "Cancel"}}, [&](int) { answered = true; });
        ASSERT_NE(window.findChild<QMessageBox*>(), nullptr);
    }
    settleEvents();
    EXPECT_FALSE(answered);
}

TEST_F(QtAlertSheet, ReturnAndSpaceAnswerTheDefaultButtonNamed) {
    const struct {
        std::size_t defaultButton;
        Qt::Key key;
        int answer;
    } cases[] = {
        {2, Qt::Key_Return, 2}, {2, Qt::Key_Space, 2},  {1, Qt::Key_Space, 1},
        {0, Qt::Key_Space, 0},  {7, Qt::Key_Return, 2}, // past the buttons: the last
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaultButton);
        answers.clear();
        AlertOptions options{"Changed on disk", "", {"Keep", "Open", "Cancel"}};
        options.defaultButton = c.defaultButton;
        QMessageBox* box = begin(std::move(options));
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->focusWidget(), nullptr);
        QTest::keyClick(c.key == Qt::Key_Space ? box->focusWidget() : static_cast<QWidget*>(box), c.key);
        EXPECT_EQ(answers, std::vector<int>{c.answer});
        settleEvents();
    }
}
