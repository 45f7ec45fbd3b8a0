#include "platform/audio/AUParameterTree.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace platform;

namespace {

std::shared_ptr<AUParameter> makeParameter(const char* identifier, AUParameterAddress address,
                                           AUValue min = 0.0f, AUValue max = 1.0f) {
    return AUParameterTree::createParameter(
        identifier, std::string(identifier) + " name", address, min, max, AudioUnitParameterUnit::hertz,
        AudioUnitParameterFlag::isReadable | AudioUnitParameterFlag::isWritable);
}

} // namespace

TEST(AUParameterTree, ParametersLookupsAndOrder) {
    auto cutoff = makeParameter("cutoff", 7, 20.0f, 20000.0f);
    auto resonance = makeParameter("resonance", 3);
    auto duplicate = makeParameter("again", 7);
    EXPECT_EQ(cutoff->flags(), 0xC0000000u);
    EXPECT_EQ(cutoff->value(), 20.0f); // starts at its minimum

    auto tree = AUParameterTree::createTree({cutoff, nullptr, resonance, duplicate});
    EXPECT_EQ(tree->allParameters(), (std::vector{cutoff, resonance, duplicate}));
    EXPECT_EQ(tree->parameterWithAddress(7), cutoff); // the first at that address
    EXPECT_EQ(tree->parameterWithID(3), resonance);
    EXPECT_EQ(tree->parameterWithIdentifier("again"), duplicate);
    EXPECT_EQ(tree->parameterWithAddress(4), nullptr);
    EXPECT_EQ(tree->parameterWithIdentifier("cut"), nullptr);
    EXPECT_TRUE(AUParameterTree::createTree({})->allParameters().empty());

    // Text of values: the tree's callback, else the shortest decimal form.
    EXPECT_EQ(resonance->stringFromValue(nullptr), "0.0");
    const AUValue half = 0.5f;
    EXPECT_EQ(resonance->stringFromValue(&half), "0.5");
    tree->setImplementorStringFromValueCallback([](const AUParameter&, const AUValue* value) {
        if (!value) return std::string("Invalid");
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", double(*value));
        return std::string(text);
    });
    const AUValue oneAndAHalf = 1.5f;
    EXPECT_EQ(resonance->stringFromValue(&oneAndAHalf), "1.50");
    EXPECT_EQ(resonance->stringFromValue(nullptr), "Invalid");

    // A parameter that outlives its tree stops asking it.
    tree->setImplementorValueProvider([](const AUParameter&) { return 0.25f; });
    resonance->setValue(0.75f);
    EXPECT_EQ(resonance->value(), 0.25f);
    tree.reset();
    EXPECT_EQ(resonance->value(), 0.75f);
    EXPECT_EQ(resonance->stringFromValue(nullptr), "0.75");
}

TEST(AUParameterTree, ImplementorHooksReachTheUnit) {
    auto gain = makeParameter("gain", 0);
    auto tree = AUParameterTree::createTree({gain});
    float unitSide = -1.0f;
    int writes = 0;
    tree->setImplementorValueObserver([&](const AUParameter& parameter, AUValue value) {
        EXPECT_EQ(&parameter, gain.get());
        unitSide = value;
        ++writes;
    });
    tree->setImplementorValueProvider([&](const AUParameter&) { return unitSide; });
    gain->setValue(0.3f);
    EXPECT_EQ(unitSide, 0.3f);
    // Values are not clamped here: the range is the caller's to enforce.
    gain->setValue(5.0f, 0, 0, AUParameterAutomationEventType::touch);
    EXPECT_EQ(writes, 2);
    unitSide = 0.125f; // the unit changed it itself
    EXPECT_EQ(gain->value(), 0.125f);
}

TEST(AUParameter, ObserversHearChangesButNotTheirOwn) {
    auto gain = makeParameter("gain", 9);
    std::vector<std::pair<AUParameterAddress, AUValue>> heardByA, heardByB;
    std::vector<AUParameterAutomationEvent> automation;
    const auto a = gain->tokenByAddingParameterObserver([&](AUParameterAddress address, AUValue value) {
        heardByA.push_back({address, value});
    });
    const auto b = gain->tokenByAddingParameterObserver([&](AUParameterAddress address, AUValue value) {
        heardByB.push_back({address, value});
    });
    const auto recorder = gain->tokenByAddingParameterAutomationObserver(
        [&](std::span<const AUParameterAutomationEvent> events) {
            automation.insert(automation.end(), events.begin(), events.end());
        });
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    EXPECT_NE(b, recorder);

    gain->setValue(0.5f);
    gain->setValue(0.25f, a); // A's own write: A does not hear it
    gain->setValue(0.75f, 0, 1234, AUParameterAutomationEventType::touch);
    gain->setValue(0.75f, recorder, 0, AUParameterAutomationEventType::release);
    EXPECT_EQ(gain->value(), 0.75f);
    ASSERT_EQ(heardByA.size(), 3u);
    EXPECT_EQ(heardByA[0], std::make_pair(AUParameterAddress(9), 0.5f));
    EXPECT_EQ(heardByA[1].second, 0.75f);
    ASSERT_EQ(heardByB.size(), 4u);
    EXPECT_EQ(heardByB[1].second, 0.25f);

    ASSERT_EQ(automation.size(), 3u);
    EXPECT_EQ(automation[0].eventType, AUParameterAutomationEventType::value);
    EXPECT_EQ(automation[0].value, 0.5f);
    EXPECT_EQ(automation[0].address, 9u);
    EXPECT_GT(automation[0].hostTime, 0u); // "now" when no time is given
    EXPECT_EQ(automation[1].value, 0.25f);
    EXPECT_EQ(automation[2].eventType, AUParameterAutomationEventType::touch);
    EXPECT_EQ(automation[2].hostTime, 1234u);

    gain->removeParameterObserver(a);
    gain->removeParameterObserver(a);
    gain->removeParameterObserver(recorder);
    gain->setValue(0.0f);
    EXPECT_EQ(heardByA.size(), 3u);
    EXPECT_EQ(heardByB.size(), 5u);
    EXPECT_EQ(automation.size(), 3u);

    // An observer may remove itself while it is being called.
    AUParameterObserverToken self = 0;
    int selfCalls = 0;
    self = gain->tokenByAddingParameterObserver([&](AUParameterAddress, AUValue) {
        ++selfCalls;
        gain->removeParameterObserver(self);
    });
    gain->setValue(0.1f);
    gain->setValue(0.2f);
    EXPECT_EQ(selfCalls, 1);
}
