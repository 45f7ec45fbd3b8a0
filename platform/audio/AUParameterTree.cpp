#include "platform/audio/AUParameterTree.h"

namespace platform {

std::shared_ptr<AUParameter> AUParameterTree::createParameter(std::string identifier, std::string name,
                                                              AUParameterAddress address, AUValue min,
                                                              AUValue max, AudioUnitParameterUnit unit,
                                                              AudioUnitParameterOptions flags) {
    return std::shared_ptr<AUParameter>(
        new AUParameter(std::move(identifier), std::move(name), address, min, max, unit, flags));
}

std::shared_ptr<AUParameterTree>
AUParameterTree::createTree(std::vector<std::shared_ptr<AUParameter>> children) {
    std::shared_ptr<AUParameterTree> tree(new AUParameterTree);
    for (auto& child : children) {
        if (!child) continue;
        child->hooks_.store(&tree->hooks_, std::memory_order_release);
        tree->parameters_.push_back(std::move(child));
    }
    return tree;
}

AUParameterTree::~AUParameterTree() {
    // Parameters may outlive their tree (a node keeps its bound parameters); they must stop asking it.
    for (const auto& parameter : parameters_) {
        const AUParameterHooks* own = &hooks_;
        parameter->hooks_.compare_exchange_strong(own, nullptr, std::memory_order_acq_rel);
    }
}

std::shared_ptr<AUParameter> AUParameterTree::parameterWithAddress(AUParameterAddress address) const {
    for (const auto& parameter : parameters_)
        if (parameter->address() == address) return parameter;
    return nullptr;
}

std::shared_ptr<AUParameter> AUParameterTree::parameterWithID(std::uint32_t parameterID) const {
    return parameterWithAddress(parameterID);
}

std::shared_ptr<AUParameter> AUParameterTree::parameterWithIdentifier(const std::string& identifier) const {
    for (const auto& parameter : parameters_)
        if (parameter->identifier() == identifier) return parameter;
    return nullptr;
}

} // namespace platform
