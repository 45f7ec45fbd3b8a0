#include "platform/ui/Alerts.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

using namespace platform;
using platform_ui_test::settleEvents;

namespace {

struct AlertAnswers {
    std::vector<int> buttons;
    AlertCompletion completion() {
        return [this](int button) { buttons.push_back(button); };
    }
};

QMessageBox* alertOf(QWidget& window) {
    return window.findChild<QMessageBox*>();
}

QAbstractButton* buttonTitled(QMessageBox& box, const QString& title) {
    for (QAbstractButton* button : box.buttons())
        if (button->text() == title) return button;
    return nullptr;
}

} // namespace

TEST(QtAlerts, AnAlertIsASheetOnItsWindowAndAnswersOnceWithTheClickedButton) {
    QWidget window;
    window.show();
    QtAlerts alerts;
    AlertAnswers answers;
    alerts.beginAlert(&window, {"Move all 3 other entries?", "They moved too.", {"OK", "Cancel"}},
                      answers.completion());
    EXPECT_TRUE(answers.buttons.empty());

    QMessageBox* box = alertOf(window);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "Move all 3 other entries?");
    EXPECT_EQ(box->informativeText(), "They moved too.");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    ASSERT_EQ(box->buttons().size(), 2);
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->defaultButton()->text(), "OK");

    QAbstractButton* cancel = buttonTitled(*box, "Cancel");
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(answers.buttons, std::vector<int>{1});

    settleEvents();
    EXPECT_EQ(alertOf(window), nullptr);
    EXPECT_EQ(answers.buttons, std::vector<int>{1});
}

TEST(QtAlerts, ReturnAnswersTheFirstButtonAndEscapeTheCancelButton) {
    QWidget window;
    window.show();
    QtAlerts alerts;
    AlertAnswers answers;

    for (int action = 0; action < 3; ++action) {
        alerts.beginAlert(&window, {"Replace?", "", {"Replace", "Cancel", "Keep Both"}},
                          answers.completion());
        QMessageBox* box = alertOf(window);
        ASSERT_NE(box, nullptr);
        if (action < 2)
            QTest::keyClick(box, action == 0 ? Qt::Key_Escape : Qt::Key_Return);
        else
            QTest::mouseClick(buttonTitled(*box, "Keep Both"), Qt::LeftButton);
        settleEvents();
    }
    EXPECT_EQ(answers.buttons, (std::vector<int>{1, 0, 2}));
}

TEST(QtAlerts, WithoutACancelButtonEscapeDoesNothingUnlessTheButtonIsAlone) {
    QWidget window;
    window.show();
    QtAlerts alerts;
    AlertAnswers two;
    alerts.beginAlert(&window, {"Save changes?", "", {"Save", "Don't Save"}}, two.completion());
    QMessageBox* box = alertOf(window);
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(two.buttons.empty());
    EXPECT_TRUE(box->isVisible());
    QTest::mouseClick(buttonTitled(*box, "Don't Save"), Qt::LeftButton);
    EXPECT_EQ(two.buttons, std::vector<int>{1});
    settleEvents();

    // No buttons given: one "OK", which Escape answers too.
    AlertAnswers lone;
    alerts.beginAlert(&window, {"The file could not be read.", "", {}, AlertStyle::critical},
                      lone.completion());
    box = alertOf(window);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), "OK");
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(lone.buttons, std::vector<int>{0});
    settleEvents();
}

TEST(QtAlerts, AnAlertClosedFromOutsideAnswersItsEscapeButton) {
    QWidget window;
    window.show();
    QtAlerts alerts;
    AlertAnswers answers;
    alerts.beginAlert(&window, {"Move other entry?", "", {"OK", "Cancel"}, AlertStyle::informational},
                      answers.completion());
    QMessageBox* box = alertOf(window);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    box->done(QDialog::Rejected);
    box->done(QDialog::Rejected);
    EXPECT_EQ(answers.buttons, std::vector<int>{1});
    settleEvents();
}

TEST(QtAlerts, WithoutAWindowTheAlertBlocksTheApplication) {
    QtAlerts alerts;
    AlertAnswers answers;
    alerts.beginAlert(nullptr, {"Alone", "", {"OK"}}, answers.completion());
    QMessageBox* box = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* candidate = qobject_cast<QMessageBox*>(widget); candidate && candidate->isVisible())
            box = candidate;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(answers.buttons, std::vector<int>{0});
    settleEvents();
}

TEST(QtAlerts, AnAlertWhoseWindowGoesAwayNeverAnswers) {
    QtAlerts alerts;
    AlertAnswers answers;
    {
        QWidget window;
        window.show();
        alerts.beginAlert(&window, {"Gone", "", {"OK", "Cancel"}}, answers.completion());
        ASSERT_NE(alertOf(window), nullptr);
    }
    settleEvents();
    EXPECT_TRUE(answers.buttons.empty());
}
