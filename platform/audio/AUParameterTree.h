#pragma once
// The parameters of an audio unit, in order, with lookups by address and identifier, and the hooks
// through which the unit implements them: a value observer (a parameter was set), a value provider
// (a parameter is read) and a string-from-value callback. Build the tree and install the hooks on the
// configuring thread before the tree is shared; the lookups and the parameters themselves may then be
// used from any thread (see AUParameter). The hooks are called on whatever thread sets or reads a
// parameter, the render thread included, so they must not lock or allocate when reading values.

#include "platform/audio/AUParameter.h"
#include "platform/audio/AUParameterHooks.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class AUParameterTree {
public:
    using ValueObserver = AUParameterHooks::ValueObserver;
    using ValueProvider = AUParameterHooks::ValueProvider;
    using StringFromValueCallback = AUParameterHooks::StringFromValueCallback;

    // A parameter for a tree. Its value starts at `min`.
    static std::shared_ptr<AUParameter> createParameter(std::string identifier, std::string name,
                                                        AUParameterAddress address, AUValue min, AUValue max,
                                                        AudioUnitParameterUnit unit,
                                                        AudioUnitParameterOptions flags);
    // A tree of these parameters, in this order (null entries are skipped). A parameter belongs to the
    // last tree made with it.
    static std::shared_ptr<AUParameterTree> createTree(std::vector<std::shared_ptr<AUParameter>> children);

    ~AUParameterTree();
    AUParameterTree(const AUParameterTree&) = delete;
    AUParameterTree& operator=(const AUParameterTree&) = delete;

    // The first parameter at the address, or null.
    std::shared_ptr<AUParameter> parameterWithAddress(AUParameterAddress address) const;
    // The parameter with this ID in the global scope, element 0 (where an ID is the address), or null.
    std::shared_ptr<AUParameter> parameterWithID(std::uint32_t parameterID) const;
    // The first parameter with the identifier, or null.
    std::shared_ptr<AUParameter> parameterWithIdentifier(const std::string& identifier) const;
    // Every parameter in tree order.
    const std::vector<std::shared_ptr<AUParameter>>& allParameters() const { return parameters_; }

    void setImplementorValueObserver(ValueObserver observer) { hooks_.valueObserver = std::move(observer); }
    void setImplementorValueProvider(ValueProvider provider) { hooks_.valueProvider = std::move(provider); }
    void setImplementorStringFromValueCallback(StringFromValueCallback callback) {
        hooks_.stringFromValue = std::move(callback);
    }
    const ValueObserver& implementorValueObserver() const { return hooks_.valueObserver; }
    const ValueProvider& implementorValueProvider() const { return hooks_.valueProvider; }
    const StringFromValueCallback& implementorStringFromValueCallback() const {
        return hooks_.stringFromValue;
    }

private:
    AUParameterTree() = default;

    std::vector<std::shared_ptr<AUParameter>> parameters_;
    // Its parameters reach the hooks directly, so a parameter needs nothing of the tree.
    AUParameterHooks hooks_;
};

} // namespace platform
