#include "platform/ui/Fakes.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace platform;

TEST(FakeFilePanels, RecordsPanelsAndAnswersThemOldestFirst) {
    FakeFilePanels panels;
    QWidget window;
    std::vector<std::string> events;

    OpenPanelOptions add;
    add.canChooseDirectories = true;
    add.allowsMultipleSelection = true;
    panels.beginOpenPanel(
        &window, add, [&](std::vector<Url> urls) { events.push_back("add " + std::to_string(urls.size())); });
    OpenPanelOptions open;
    open.directory = "/state";
    panels.beginOpenPanel(&window, open, [&](std::vector<Url> urls) {
        events.push_back("open " + std::to_string(urls.size()));
    });
    EXPECT_TRUE(events.empty());
    ASSERT_EQ(panels.openRequests().size(), 2u);
    EXPECT_EQ(panels.openRequests()[0].window, &window);
    EXPECT_TRUE(panels.openRequests()[0].options.canChooseDirectories);
    EXPECT_EQ(panels.openRequests()[1].options.directory, "/state");
    EXPECT_EQ(panels.pendingOpenPanels(), 2u);

    EXPECT_TRUE(panels.answerOpenPanel({Url::fileURLWithPath("/a.mp3"), Url::fileURLWithPath("/b.mp3")}));
    EXPECT_TRUE(panels.answerOpenPanel({}));
    EXPECT_FALSE(panels.answerOpenPanel({}));
    EXPECT_EQ(events, (std::vector<std::string>{"add 2", "open 0"}));
    EXPECT_EQ(panels.openRequests().size(), 2u);

    // A completion may ask for the next panel, as the save-first paths do.
    SavePanelOptions save;
    save.nameFieldStringValue = "Session.vantle";
    std::optional<Url> saved;
    panels.beginSavePanel(&window, save, [&](std::optional<Url> url) {
        saved = url;
        panels.beginOpenPanel(&window, {}, [&](std::vector<Url>) { events.push_back("after save"); });
    });
    EXPECT_TRUE(panels.answerSavePanel(Url::fileURLWithPath("/s/Session.vantle")));
    EXPECT_EQ(saved, Url::fileURLWithPath("/s/Session.vantle"));
    EXPECT_EQ(panels.saveRequests().at(0).options.nameFieldStringValue, "Session.vantle");
    EXPECT_EQ(panels.pendingOpenPanels(), 1u);
    EXPECT_TRUE(panels.answerOpenPanel({}));
    EXPECT_EQ(events.back(), "after save");
    EXPECT_FALSE(panels.answerSavePanel(std::nullopt));
}

TEST(FakeAlerts, RecordsAlertsAndTakesOnlyButtonsTheyHave) {
    FakeAlerts alerts;
    std::vector<int> answers;
    alerts.beginAlert(nullptr, {"Move other entry?", "", {"OK", "Cancel"}},
                      [&](int button) { answers.push_back(button); });
    alerts.beginAlert(nullptr, {"Note", "", {}}, [&](int button) { answers.push_back(10 + button); });
    ASSERT_EQ(alerts.requests().size(), 2u);
    EXPECT_EQ(alerts.requests()[0].options.messageText, "Move other entry?");
    EXPECT_EQ(alerts.requests()[0].options.style, AlertStyle::warning);

    EXPECT_FALSE(alerts.answerAlert(2));
    EXPECT_FALSE(alerts.answerAlert(-1));
    EXPECT_EQ(alerts.pendingAlerts(), 2u);
    EXPECT_TRUE(alerts.answerAlert(1));
    EXPECT_FALSE(alerts.answerAlert(1));
    EXPECT_TRUE(alerts.answerAlert(0));
    EXPECT_FALSE(alerts.answerAlert(0));
    EXPECT_EQ(answers, (std::vector<int>{1, 10}));
}
