#include "RozezEru/Nodes/NodeParameter.h"

#include "RozezEru/Internals/CreateParameter.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "platform/dispatch/MainQueue.h"

#include "ParameterTestRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace rozezeru;
using parametertest::gainDef;
using platform::AUParameterAutomationEvent;
using platform::AUParameterAutomationEventType;
using testsupport::ToolkitLogCapture;

namespace {

std::shared_ptr<platform::AudioUnitNode> gainUnitNode() {
    return std::make_shared<platform::AudioUnitNode>(std::make_unique<unittest::GainTestUnit>());
}

using TypedValues = std::vector<std::pair<AUParameterAutomationEventType, float>>;
TypedValues typesAndValues(const std::vector<AUParameterAutomationEvent>& events) {
    TypedValues result;
    for (const auto& event : events)
        result.emplace_back(event.eventType, event.value);
    return result;
}

unittest::GainTestUnit& gainUnitOf(const std::shared_ptr<platform::AudioUnitNode>& node) {
    return static_cast<unittest::GainTestUnit&>(node->auAudioUnit());
}

} // namespace

TEST(NodeParameter, ValuesAreClampedAndReachTheUnitOnce) {
    auto node = gainUnitNode();
    auto& unit = gainUnitOf(node);
    NodeParameter parameter(gainDef());
    EXPECT_EQ(parameter.parameter(), nullptr);
    parameter.bind(node);
    ASSERT_EQ(parameter.parameter().get(), &unit.gain());
    std::vector<float> heard;
    const auto token = unit.gain().tokenByAddingParameterObserver(
        [&](platform::AUParameterAddress, platform::AUValue value) { heard.push_back(value); });
    // value() reads the unit's own value provider, so this shows what the unit received.
    for (auto [set, expected] : {std::pair{10.0f, 4.0f},
                                 {0.0f, 0.0f},
                                 {-3.0f, 0.0f},
                                 {2.5f, 2.5f},
                                 {std::numeric_limits<float>::infinity(), 4.0f}}) {
        parameter.setValue(set);
        EXPECT_EQ(parameter.value(), expected) << set;
    }
    EXPECT_EQ(heard, (std::vector<float>{4.0f, 0.0f, 0.0f, 2.5f, 4.0f}));

    // NaN would poison the unit's render state: refused, with an error record.
    ToolkitLogCapture capture;
    parameter.setValue(std::nanf(""));
    EXPECT_EQ(std::pair(parameter.value(), heard.size()), std::pair(4.0f, std::size_t(5)));
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    EXPECT_EQ(capture.contents("NodeParameter.cpp", "value"),
              std::vector<std::string>{"🛑 Error: can't set parameter Gain to nan"});
    unit.gain().removeParameterObserver(token);
}

TEST(NodeParameter, AForeignParameterAndTheUnitsOwnAreBothWritten) {
    // Bound to a parameter outside the tree: both get the value clamped to the bound one's range.
    auto node = gainUnitNode();
    auto& unit = gainUnitOf(node);
    auto foreign =
        createParameter("gain", "Gain", 0, 0.5f, 2.0f, platform::AudioUnitParameterUnit::linearGain);
    EXPECT_EQ(foreign->flags(), 0xC2000000u);
    NodeParameter parameter(gainDef());
    parameter.bind(node, foreign);
    for (auto [set, expected] : {std::pair{3.0f, 2.0f}, {0.1f, 0.5f}}) {
        parameter.setValue(set);
        EXPECT_EQ(std::pair(foreign->value(), unit.gain().value()), std::pair(expected, expected));
    }

    // A definition whose address the tree lacks binds to nothing.
    auto def = gainDef();
    def.address = 7;
    NodeParameter missing(def);
    missing.bind(node);
    EXPECT_EQ(missing.parameter(), nullptr);
}

TEST(NodeParameter, BoolValuesAndTheWrapper) {
    auto node = gainUnitNode();
    Parameter<float> gain(gainDef());
    Parameter<bool> active(gainDef());
    EXPECT_NE(gain.projectedValue(), active.projectedValue());
    // Copies share the one NodeParameter.
    Parameter<float> copy = gain;
    EXPECT_EQ(copy.projectedValue(), gain.projectedValue());

    gain.projectedValue()->bind(node);
    active.projectedValue()->bind(node);
    NodeParameter& parameter = *gain.projectedValue();

    for (auto [set, on] : {std::pair{0.5f, false}, {0.51f, true}}) {
        parameter.setValue(set);
        EXPECT_EQ(std::pair(parameter.boolValue(), active.wrappedValue()), std::pair(on, on)) << set;
    }
    for (bool on : {false, true}) {
        parameter.setBoolValue(on);
        EXPECT_EQ(parameter.value(), on ? 1.0f : 0.0f);
        active.setWrappedValue(!on);
        EXPECT_EQ(copy.wrappedValue(), on ? 0.0f : 1.0f);
    }
    // Writes through the wrapper are clamped like any other.
    gain.setWrappedValue(9.0f);
    EXPECT_EQ(copy.wrappedValue(), 4.0f);

    // Replacing the projection points the wrapper at another NodeParameter.
    auto other = std::make_shared<NodeParameter>(gainDef());
    gain.setProjectedValue(other);
    EXPECT_EQ(gain.projectedValue(), other);
}

TEST(NodeParameter, SetupBuildsTheTreeInListOrderAndBinds) {
    using Unit = platform::AudioUnitParameterUnit;
    using Options = rozezeru::AudioUnitParameterOptions;
    struct TwoParameters {
        Parameter<float> cutoff{
            {"cutoff", "Cutoff", 3, 1000.0f, {20.0f, 20000.0f}, Unit::hertz, Options::default_}};
        Parameter<bool> enabled{
            {"enabled", "Enabled", 1, 1.0f, {0.0f, 1.0f}, Unit::boolean, Options::isReadable}};
    } members;
    auto node = gainUnitNode();
    const auto list = parameterList(members.cutoff, members.enabled);
    setupParameters(node, list);

    const auto& all = node->auAudioUnit().parameterTree()->allParameters();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(std::tuple(all[0]->identifier(), all[0]->maxValue(), all[0]->unit(), all[0]->flags()),
              std::tuple("cutoff", 20000.0f, Unit::hertz, 0xC2000000u));
    EXPECT_EQ(std::pair(all[1]->identifier(), all[1]->flags()),
              std::pair(std::string("enabled"), Options::isReadable));
    EXPECT_EQ(std::pair(members.cutoff.projectedValue()->parameter(),
                        members.enabled.projectedValue()->parameter()),
              std::pair(all[0], all[1]));
    // No value is written: a new parameter starts at its minimum, not at the definition's default.
    EXPECT_EQ(members.cutoff.wrappedValue(), 20.0f);
    EXPECT_EQ(node->auAudioUnit().parameterTree()->parameterWithAddress(3), all[0]);

    // Without parameters the unit gets an empty tree.
    auto bare = gainUnitNode();
    setupParameters(bare, {});
    EXPECT_TRUE(bare->auAudioUnit().parameterTree()->allParameters().empty());
}

TEST(NodeParameter, TouchesSetClampedValuesWithTheirEventTypes) {
    // Unbound, a touch does nothing (and does not stop the process).
    NodeParameter(gainDef()).beginTouch();
    NodeParameter(gainDef()).endTouch(2.0f);

    auto node = gainUnitNode();
    NodeParameter parameter(gainDef());
    parameter.bind(node);
    std::vector<AUParameterAutomationEvent> events;
    const auto token = parameter.parameter()->tokenByAddingParameterAutomationObserver(
        [&](std::span<const AUParameterAutomationEvent> batch) {
            events.insert(events.end(), batch.begin(), batch.end());
        });
    parameter.setValue(1.5f);
    parameter.beginTouch();
    parameter.endTouch(7.0f);
    parameter.beginTouch(std::nanf(""));
    EXPECT_EQ(typesAndValues(events), (TypedValues{{AUParameterAutomationEventType::value, 1.5f},
                                                   {AUParameterAutomationEventType::touch, 1.5f},
                                                   {AUParameterAutomationEventType::release, 4.0f},
                                                   {AUParameterAutomationEventType::touch, 4.0f}}));
    EXPECT_EQ(parameter.value(), 4.0f);
    parameter.parameter()->removeParameterObserver(token);
}

TEST(NodeParameter, AutomationEventsArriveOnTheMainQueueOneCallEach) {
    auto& mainQueue = platform::mainQueue();
    mainQueue.drain();
    auto node = gainUnitNode();
    auto parameter = std::make_unique<NodeParameter>(gainDef());
    parameter->bind(node);
    platform::AUParameter& gain = *parameter->parameter();

    std::vector<AUParameterAutomationEvent> heard;
    std::vector<bool> onMainThread;
    parameter->addAutomationObserver([&](const AUParameterAutomationEvent& event) {
        heard.push_back(event);
        onMainThread.push_back(mainQueue.isMainThread());
    });
    ASSERT_TRUE(parameter->parameterObserverToken());
    parameter->beginTouch(0.25f);
    parameter->setValue(0.5f);
    parameter->endTouch(0.75f);
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(mainQueue.drain(), 3u);
    EXPECT_EQ(typesAndValues(heard), (TypedValues{{AUParameterAutomationEventType::touch, 0.25f},
                                                  {AUParameterAutomationEventType::value, 0.5f},
                                                  {AUParameterAutomationEventType::release, 0.75f}}));
    for (const auto& event : heard)
        EXPECT_TRUE(event.address == unittest::GainTestUnit::gainAddress && event.hostTime != 0u);
    EXPECT_EQ(onMainThread, (std::vector<bool>{true, true, true}));

    // A replaced observer is removed: neither its queued events nor later ones reach it.
    heard.clear();
    gain.setValue(1.0f);
    std::vector<float> second;
    parameter->addAutomationObserver(
        [&](const AUParameterAutomationEvent& event) { second.push_back(event.value); });
    gain.setValue(2.0f);
    mainQueue.drain();
    EXPECT_EQ(std::pair(heard.size(), second), std::pair(std::size_t(0), std::vector<float>{2.0f}));

    // Removal forgets the token; a second removal is harmless.
    parameter->removeAutomationObserver();
    EXPECT_FALSE(parameter->parameterObserverToken());
    parameter->removeAutomationObserver();
    gain.setValue(3.0f);
    EXPECT_EQ(mainQueue.pendingCount(), 0u);

    // The observer goes away with its owner, queued events included.
    parameter->addAutomationObserver(
        [&](const AUParameterAutomationEvent& event) { second.push_back(event.value); });
    gain.setValue(4.0f);
    parameter.reset();
    gain.setValue(5.0f);
    mainQueue.drain();
    EXPECT_EQ(second, std::vector<float>{2.0f});
}

TEST(NodeParameter, DestructionRemovesTheRenderObserverOfItsToken) {
    auto rig = parametertest::makeGeneratorRig(512);
    std::atomic<int> calls{0};
    auto parameter = std::make_unique<NodeParameter>(gainDef());
    parameter->bind(rig.node);
    EXPECT_FALSE(parameter->renderObserverToken());
    parameter->setRenderObserverToken(rig.unit->tokenByAddingRenderObserver(
        [&](platform::AudioUnitRenderActionFlags, const platform::AudioTime&, platform::AUAudioFrameCount,
            std::uint32_t) { calls.fetch_add(1); }));
    ASSERT_EQ(parametertest::renderChannel0(rig, 512, 512).size(), 512u);
    EXPECT_EQ(calls.load(), 2) << "before and after the one cycle";
    parameter.reset();
    ASSERT_EQ(parametertest::renderChannel0(rig, 512, 512).size(), 512u);
    EXPECT_EQ(calls.load(), 2) << "removed";
}

TEST(NodeParameterDeathTest, ProgrammingErrorsStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto boundTo = [](std::shared_ptr<platform::AUParameter> foreign) {
        auto parameter = std::make_unique<NodeParameter>(gainDef());
        parameter->bind(nullptr, std::move(foreign));
        return parameter;
    };
    const auto generic = platform::AudioUnitParameterUnit::generic;
    EXPECT_DEATH(
        NodeParameter(gainDef()).bind(std::make_shared<testsupport::PassThroughNode>(unittest::unitStereo())),
        "No parameter tree\\.");
    EXPECT_DEATH((void)NodeParameter(gainDef()).value(), "not bound");
    EXPECT_DEATH((void)Parameter<bool>(gainDef()).wrappedValue(), "not bound");
    EXPECT_DEATH(boundTo(createParameter("inverted", "Inverted", 0, 1.0f, 0.0f, generic))->setValue(0.5f),
                 "maximum below minimum");
    EXPECT_DEATH(boundTo(createParameter("gain", "Gain", 0, 0.0f, 1.0f, generic))->ramp(0.5f, 0.1f),
                 "no node");
}
