#include "platform/ui/Fakes.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace platform;

TEST(FakeFilePanels, AnswersPanelsOldestFirstAndACompletionMayBeginTheNext) {
    FakeFilePanels panels;
    std::vector<std::string> events;
    auto record = [&](std::string name) {
        return
            [&events, name](std::vector<Url> urls) { events.push_back(name + std::to_string(urls.size())); };
    };
    panels.beginOpenPanel(nullptr, {}, record("add "));
    panels.beginOpenPanel(nullptr, {}, record("open "));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(panels.answerOpenPanel({Url::fileURLWithPath("/a.mp3"), Url::fileURLWithPath("/b.mp3")}));
    EXPECT_TRUE(panels.answerOpenPanel({}));
    EXPECT_FALSE(panels.answerOpenPanel({}));
    EXPECT_EQ(events, (std::vector<std::string>{"add 2", "open 0"}));
    EXPECT_EQ(panels.openRequests().size(), 2u); // answered ones too

    // As the save-first paths do.
    std::optional<Url> saved;
    panels.beginSavePanel(nullptr, {}, [&](std::optional<Url> url) {
        saved = url;
        panels.beginOpenPanel(nullptr, {}, record("after save "));
    });
    EXPECT_TRUE(panels.answerSavePanel(Url::fileURLWithPath("/s/Session.vantle")));
    EXPECT_EQ(saved, Url::fileURLWithPath("/s/Session.vantle"));
    EXPECT_EQ(panels.pendingOpenPanels(), 1u);
    EXPECT_TRUE(panels.answerOpenPanel({}));
    EXPECT_EQ(events.back(), "after save 0");
    EXPECT_FALSE(panels.answerSavePanel(std::nullopt));
}

TEST(FakeAlerts, TakeOnlyButtonsTheAlertHasOldestFirst) {
    FakeAlerts alerts;
    std::vector<int> answers;
    alerts.beginAlert(nullptr, {"Move other entry?", "", {"OK", "Cancel"}},
                      [&](int b) { answers.push_back(b); });
    alerts.beginAlert(nullptr, {"Note", "", {}}, [&](int b) { answers.push_back(10 + b); }); // its one "OK"
    EXPECT_FALSE(alerts.answerAlert(2));
    EXPECT_FALSE(alerts.answerAlert(-1));
    EXPECT_EQ(alerts.pendingAlerts(), 2u);
    EXPECT_TRUE(alerts.answerAlert(1));
    EXPECT_FALSE(alerts.answerAlert(1));
    EXPECT_TRUE(alerts.answerAlert(0));
    EXPECT_FALSE(alerts.answerAlert(0));
    EXPECT_EQ(answers, (std::vector<int>{1, 10}));
}
