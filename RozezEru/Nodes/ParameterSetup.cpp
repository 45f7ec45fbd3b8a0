#include "RozezEru/Nodes/ParameterSetup.h"

#include "RozezEru/Internals/CreateParameter.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnitNode.h"

namespace rozezeru {

void setupParameters(const std::shared_ptr<platform::AudioNode>& node,
                     std::span<const std::shared_ptr<NodeParameter>> parameters) {
    auto* unitNode = dynamic_cast<platform::AudioUnitNode*>(node.get());
    if (!unitNode) nodeParameterFailure("setupParameters: the node has no audio unit.");
    std::vector<std::shared_ptr<platform::AUParameter>> children;
    children.reserve(parameters.size());
    for (const std::shared_ptr<NodeParameter>& parameter : parameters) {
        const NodeParameterDef& def = parameter->def();
        auto child = createParameter(def.identifier, def.name, def.address, def.range.lowerBound,
                                     def.range.upperBound, def.unit, def.flags);
        parameter->bind(node, child);
        children.push_back(std::move(child));
    }
    unitNode->auAudioUnit().setParameterTree(platform::AUParameterTree::createTree(std::move(children)));
}

} // namespace rozezeru
