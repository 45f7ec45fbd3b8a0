#pragma once
// The member through which a node exposes one parameter: its value reads and writes the bound
// NodeParameter as a Float or Bool, and its projection is the NodeParameter itself. Copies share the
// one NodeParameter. Same threads as NodeParameter.

#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEru/Nodes/NodeParameterDef.h"

#include <concepts>
#include <memory>

namespace rozezeru {

// How a type a Parameter presents converts to and from a parameter value.
template <typename Value> struct NodeParameterTypeTraits;

template <> struct NodeParameterTypeTraits<float> {
    static platform::AUValue toAUValue(float value) { return value; }
    static float fromAUValue(platform::AUValue value) { return value; }
};

template <> struct NodeParameterTypeTraits<bool> {
    static platform::AUValue toAUValue(bool value) { return value ? 1.0f : 0.0f; }
    static bool fromAUValue(platform::AUValue value) { return value > 0.5f; }
};

template <typename Value>
concept NodeParameterType = requires(Value value, platform::AUValue auValue) {
    { NodeParameterTypeTraits<Value>::toAUValue(value) } -> std::same_as<platform::AUValue>;
    { NodeParameterTypeTraits<Value>::fromAUValue(auValue) } -> std::same_as<Value>;
};

template <NodeParameterType Value> platform::AUValue toAUValue(Value value) {
    return NodeParameterTypeTraits<Value>::toAUValue(value);
}

// What every Parameter has whatever its value type: the NodeParameter, through which nodes list and
// set up their parameters.
class ParameterBase {
public:
    const std::shared_ptr<NodeParameter>& projectedValue() const { return param_; }
    void setProjectedValue(std::shared_ptr<NodeParameter> param) { param_ = std::move(param); }

protected:
    explicit ParameterBase(std::shared_ptr<NodeParameter> param) : param_(std::move(param)) {}

    std::shared_ptr<NodeParameter> param_;
};

template <NodeParameterType Value> class Parameter : public ParameterBase {
public:
    // Holds a new, unbound NodeParameter made from `def`; setupParameters binds it.
    explicit Parameter(const NodeParameterDef& def) : ParameterBase(std::make_shared<NodeParameter>(def)) {}

    // The bound platform parameter's value, converted; writing goes through NodeParameter::setValue
    // (clamped, written into the unit). Unbound: the process stops.
    Value wrappedValue() const {
        const auto& parameter = param_->parameter();
        if (!parameter) nodeParameterFailure("Parameter \"" + param_->def().identifier + "\" is not bound.");
        return NodeParameterTypeTraits<Value>::fromAUValue(parameter->value());
    }
    void setWrappedValue(Value value) { param_->setValue(NodeParameterTypeTraits<Value>::toAUValue(value)); }
};

} // namespace rozezeru
