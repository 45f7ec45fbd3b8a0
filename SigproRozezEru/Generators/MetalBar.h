#pragma once
// A struck metal bar: silent until trigger() (or any MIDI message) strikes it at `position` with
// `strikeVelocity` over `strikeWidth`; the sound dies away by 30 dB in `decayDuration` seconds while the
// listening point sweeps along the bar at `scanSpeed`. The boundary conditions are codes: 1 clamped, 2
// pivoting, 3 free. A new node is not bypassed: it sounds at the first strike. Main thread (the kernel
// renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class MetalBar final : public GeneratorNode, public Triggerable {
public:
    static constexpr std::string_view componentSubType = "mbar";
    static constexpr std::string_view nodeClassName = "MetalBar";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses. The
    // hertz unit of the first four is as stored documents and callers know it.
    static constexpr std::array<NodeParameterRow, 7> parameterRows{{
        {"leftBoundaryCondition",
         "Boundary condition at left end of bar. 1 = clamped, 2 = pivoting, 3 = free",
         1.0f,
         {1.0f, 3.0f},
         ParameterUnit::hertz},
        {"rightBoundaryCondition",
         "Boundary condition at right end of bar. 1 = clamped, 2 = pivoting, 3 = free",
         1.0f,
         {1.0f, 3.0f},
         ParameterUnit::hertz},
        {"decayDuration", "30db decay time (in seconds).", 3.0f, {0.0f, 10.0f}, ParameterUnit::hertz},
        {"scanSpeed", "Speed of scanning the output location.", 0.25f, {0.0f, 100.0f}, ParameterUnit::hertz},
        {"position", "Position along bar that strike occurs.", 0.2f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"strikeVelocity", "Normalized strike velocity", 500.0f, {0.0f, 1000.0f}, ParameterUnit::generic},
        {"strikeWidth", "Spatial width of strike.", 0.05f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef leftBoundaryConditionDef() { return nodeParameterDef<MetalBar>(0); }
    static NodeParameterDef rightBoundaryConditionDef() { return nodeParameterDef<MetalBar>(1); }
    static NodeParameterDef decayDurationDef() { return nodeParameterDef<MetalBar>(2); }
    static NodeParameterDef scanSpeedDef() { return nodeParameterDef<MetalBar>(3); }
    static NodeParameterDef positionDef() { return nodeParameterDef<MetalBar>(4); }
    static NodeParameterDef strikeVelocityDef() { return nodeParameterDef<MetalBar>(5); }
    static NodeParameterDef strikeWidthDef() { return nodeParameterDef<MetalBar>(6); }

    // The values are written (clamped) once the parameter tree is set up.
    explicit MetalBar(platform::AUValue leftBoundaryCondition = leftBoundaryConditionDef().defaultValue,
                      platform::AUValue rightBoundaryCondition = rightBoundaryConditionDef().defaultValue,
                      platform::AUValue decayDuration = decayDurationDef().defaultValue,
                      platform::AUValue scanSpeed = scanSpeedDef().defaultValue,
                      platform::AUValue position = positionDef().defaultValue,
                      platform::AUValue strikeVelocity = strikeVelocityDef().defaultValue,
                      platform::AUValue strikeWidth = strikeWidthDef().defaultValue)
        : GeneratorNode(componentSubType) {
        setupParameters();
        writeInitialValues({leftBoundaryCondition, rightBoundaryCondition, decayDuration, scanSpeed, position,
                            strikeVelocity, strikeWidth});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(leftBoundaryCondition, rightBoundaryCondition, decayDuration, scanSpeed,
                             position, strikeVelocity, strikeWidth);
    }

    Parameter<float> leftBoundaryCondition{leftBoundaryConditionDef()};
    Parameter<float> rightBoundaryCondition{rightBoundaryConditionDef()};
    Parameter<float> decayDuration{decayDurationDef()};
    Parameter<float> scanSpeed{scanSpeedDef()};
    Parameter<float> position{positionDef()};
    Parameter<float> strikeVelocity{strikeVelocityDef()};
    Parameter<float> strikeWidth{strikeWidthDef()};
};

} // namespace rozezeru
