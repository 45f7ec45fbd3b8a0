#include "platform/ui/Alerts.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
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
    const auto key = [](Qt::Key key) { return [key](QMessageBox& box) { QTest::keyClick(&box, key); }; };
    const auto rejectTwice = [](QMessageBox& box) {
        box.done(QDialog::Rejected);
        box.done(QDialog::Rejected);
    };
    const AlertOptions replace{"Replace?", "", {"Replace", "Cancel", "Keep Both"}};
    const AlertOptions save{"Save changes?", "", {"Save", "Don't Save"}};
    const struct {
        AlertOptions options;
        std::function<void(QMessageBox&)> act;
        std::vector<int> answers;
        QMessageBox::Icon icon = QMessageBox::Warning;
    } cases[] = {
        {replace, key(Qt::Key_Escape), {1}},
        {replace, key(Qt::Key_Return), {0}},
        {replace,
         [](QMessageBox& box) { QTest::mouseClick(buttonTitled(box, "Keep Both"), Qt::LeftButton); },
         {2}},
        // Without a "Cancel", Escape does nothing and a close from outside answers the last button.
        {save, key(Qt::Key_Escape), {}},
        {save, rejectTwice, {1}},
        {{"Move other entry?", "", {"OK", "Cancel"}, AlertStyle::informational},
         rejectTwice,
         {1},
         QMessageBox::Information},
        // No buttons given: one "OK", which Escape answers too.
        {{"The file could not be read.", "", {}, AlertStyle::critical},
         [](QMessageBox& box) {
             ASSERT_EQ(box.buttons().size(), 1);
             EXPECT_EQ(box.buttons().front()->text(), "OK");
             QTest::keyClick(&box, Qt::Key_Escape);
         },
         {0},
         QMessageBox::Critical},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.options.messageText + " " + std::to_string(&k - cases));
        answers.clear();
        QMessageBox* box = begin(k.options);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), k.icon);
        k.act(*box);
        EXPECT_EQ(answers, k.answers);
        EXPECT_EQ(box->isVisible(), k.answers.empty());
        if (box->isVisible()) box->done(QDialog::Rejected);
        settleEvents();
    }
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
