#include "platform/audio/RenderPlan.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace platform {

namespace {

// Each channel buffer starts on a cache line.
constexpr std::size_t planFloatsPerLine = 16;

std::size_t planRoundUp(std::size_t floats) {
    return (floats + planFloatsPerLine - 1) / planFloatsPerLine * planFloatsPerLine;
}

void planSilence(AudioBufferList& list, std::uint32_t from, std::uint32_t to) {
    if (to <= from) return;
    for (std::uint32_t b = 0; b < list.numberBuffers; ++b)
        std::memset(list.floatData(b) + from, 0, std::size_t(to - from) * sizeof(float));
}

void planSetLength(AudioBufferList& list, std::uint32_t frames) {
    for (std::uint32_t b = 0; b < list.numberBuffers; ++b)
        list.buffers[b].dataByteSize = frames * sizeof(float);
}

bool planSameBuffers(const AudioBufferList& a, const AudioBufferList& b) {
    if (a.numberBuffers != b.numberBuffers) return false;
    for (std::uint32_t c = 0; c < a.numberBuffers; ++c)
        if (a.buffers[c].data != b.buffers[c].data) return false;
    return true;
}

// `frames` frames of `from` into `into`; channels `from` lacks (all of them when it is null) are silent.
void planCopy(AudioBufferList& into, const AudioBufferList* from, std::uint32_t frames) {
    for (std::uint32_t c = 0; c < into.numberBuffers; ++c) {
        into.buffers[c].dataByteSize = frames * sizeof(float);
        float* destination = into.floatData(c);
        if (from && c < from->numberBuffers) {
            if (from->floatData(c) != destination)
                std::memmove(destination, from->floatData(c), std::size_t(frames) * sizeof(float));
        } else {
            std::memset(destination, 0, std::size_t(frames) * sizeof(float));
        }
    }
}

} // namespace

std::unique_ptr<RenderPlan> RenderPlan::build(AudioNode& output,
                                              const std::vector<GraphConnection>& connections,
                                              const std::vector<std::shared_ptr<AudioNode>>& attached,
                                              std::uint32_t maximumFrames, const RenderPlan* previous,
                                              bool freshStates, AudioNode* alsoRender) {
    auto plan = std::unique_ptr<RenderPlan>(new RenderPlan);
    plan->maximumFrames_ = maximumFrames;

    // The source feeding each (destination, bus).
    auto feeding = [&](AudioNode* node, std::uint32_t bus) -> const GraphConnection* {
        for (const auto& c : connections)
            if (c.destination == node && c.destinationBus == bus) return &c;
        return nullptr;
    };

    // Depth-first post-order from the output: every node after everything that feeds it. The graph is
    // acyclic (the engine refuses cycles), the visited set only spares shared upstream work.
    std::vector<AudioNode*> order;
    std::unordered_map<AudioNode*, std::uint32_t> index;
    {
        struct Frame {
            AudioNode* node;
            std::uint32_t nextBus;
        };
        std::unordered_map<AudioNode*, bool> seen;
        // The output's graph first, then the extra node unless it is part of it.
        for (AudioNode* root : {&output, alsoRender}) {
            if (!root || seen[root]) continue;
            seen[root] = true;
            std::vector<Frame> stack{{root, 0}};
            while (!stack.empty()) {
                Frame& top = stack.back();
                if (top.nextBus < top.node->numberOfInputs()) {
                    const GraphConnection* c = feeding(top.node, top.nextBus++);
                    if (c && !seen[c->source]) {
                        seen[c->source] = true;
                        stack.push_back({c->source, 0});
                    }
                    continue;
                }
                index[top.node] = std::uint32_t(order.size());
                order.push_back(top.node);
                stack.pop_back();
            }
        }
    }
    plan->outputNode_ = index[&output];
    if (alsoRender && alsoRender != &output) plan->alsoRender_ = std::int32_t(index[alsoRender]);

    plan->nodes_.resize(order.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        Node& n = plan->nodes_[i];
        n.node = order[i];
        for (const auto& owner : attached)
            if (owner.get() == n.node) n.owner = owner;
        n.firstInput = std::uint32_t(plan->inputs_.size());
        n.inputCount = n.node->numberOfInputs();
        for (std::uint32_t bus = 0; bus < n.inputCount; ++bus) {
            Input in;
            in.format = n.node->inputFormat(bus);
            if (const GraphConnection* c = feeding(n.node, bus)) {
                in.source = std::int32_t(index[c->source]);
                in.sourceBus = c->sourceBus;
                in.format = c->format;
            }
            plan->inputs_.push_back(in);
        }
    }

    // Frame capacities, consumers before what they pull from (reverse post-order).
    plan->nodes_[plan->outputNode_].capacity = maximumFrames;
    if (plan->alsoRender_ >= 0) plan->nodes_[std::uint32_t(plan->alsoRender_)].capacity = maximumFrames;
    for (std::uint32_t i = std::uint32_t(order.size()); i-- > 0;) {
        Node& n = plan->nodes_[i];
        n.capacity = std::clamp<std::uint32_t>(n.capacity, 1, frameCapacityLimit);
        for (std::uint32_t bus = 0; bus < n.inputCount; ++bus) {
            const Input& in = plan->inputs_[n.firstInput + bus];
            if (in.source < 0) continue;
            Node& source = plan->nodes_[std::uint32_t(in.source)];
            source.capacity = std::max(source.capacity, n.node->maximumFramesToPull(bus, n.capacity));
        }
    }

    // One cached buffer per output bus; the output node renders into the device's buffer instead.
    std::size_t floats = 0;
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        Node& n = plan->nodes_[i];
        n.firstOutput = std::uint32_t(plan->outputs_.size());
        n.outputCount = n.node->numberOfOutputs();
        for (std::uint32_t bus = 0; bus < n.outputCount; ++bus) {
            Output out;
            out.format = n.node->outputFormat(bus);
            if (i != plan->outputNode_) floats += planRoundUp(n.capacity) * out.format.channelCount();
            plan->outputs_.push_back(out);
        }
    }
    for (const Input& in : plan->inputs_)
        if (in.source >= 0) {
            const Node& source = plan->nodes_[std::uint32_t(in.source)];
            if (in.sourceBus < source.outputCount)
                ++plan->outputs_[source.firstOutput + in.sourceBus].consumers;
        }
    plan->arena_.reset(new float[floats + planFloatsPerLine]());
    auto cursor = reinterpret_cast<std::uintptr_t>(plan->arena_.get());
    cursor = (cursor + 63) & ~std::uintptr_t(63);
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        if (i == plan->outputNode_) continue;
        const Node& n = plan->nodes_[i];
        for (std::uint32_t bus = 0; bus < n.outputCount; ++bus) {
            Output& out = plan->outputs_[n.firstOutput + bus];
            out.own.numberBuffers = out.format.channelCount();
            for (std::uint32_t ch = 0; ch < out.own.numberBuffers; ++ch) {
                out.own.buffers[ch].numberChannels = 1;
                out.own.buffers[ch].data = reinterpret_cast<void*>(cursor);
                out.own.buffers[ch].dataByteSize = 0;
                cursor += planRoundUp(n.capacity) * sizeof(float);
            }
            assignBufferList(out.view, out.own);
        }
    }

    // Render states last: a node may look at the connections it now has.
    std::unordered_map<const AudioNode*, const Node*> previousNodes;
    if (previous && !freshStates)
        for (const Node& n : previous->nodes_)
            previousNodes[n.node] = &n;
    static const std::shared_ptr<NodeRenderState> noState;
    for (Node& n : plan->nodes_) {
        auto found = previousNodes.find(n.node);
        n.state = n.node->makeRenderState(n.capacity,
                                          found != previousNodes.end() ? found->second->state : noState);
    }
    return plan;
}

std::uint32_t RenderPlan::frameCapacity(const AudioNode& node) const {
    for (const Node& n : nodes_)
        if (n.node == &node) return n.capacity;
    return 0;
}

RenderStatus RenderPlan::renderOutput(std::uint32_t frames, AudioBufferList& out, RenderCycle& cycle) {
    planSetLength(out, frames);
    if (frames > nodes_[outputNode_].capacity) {
        planSilence(out, 0, frames);
        cycle.failed = true;
        return RenderStatus::error;
    }
    Output& view = outputs_[nodes_[outputNode_].firstOutput];
    const RenderStatus status = callRender(outputNode_, 0, frames, out, view.view, true, cycle);
    // Already rendered when it feeds the output; the extra frames it would then get are padding only.
    // It renders as many frames as the output: the two share one rate in practice.
    if (alsoRender_ >= 0 && nodes_[std::uint32_t(alsoRender_)].outputCount > 0) {
        const AudioBufferList* data = nullptr;
        (void)renderBus(std::uint32_t(alsoRender_), 0, frames, cycle, data);
    }
    return status;
}

RenderStatus RenderPlan::callRender(std::uint32_t node, std::uint32_t bus, std::uint32_t frames,
                                    AudioBufferList& destination, AudioBufferList& view, bool fixed,
                                    RenderCycle& cycle) {
    Node& n = nodes_[node];
    if (n.timedCycle != cycle.number) {
        n.timedCycle = cycle.number;
        n.node->recordRenderTime(cycle.when, cycle.generation);
    }
    assignBufferList(view, destination);
    RenderContext context(*this, node, cycle, view, fixed);
    RenderStatus status = n.node->render(context, frames, view, cycle.when, bus);
    if (status != RenderStatus::success) {
        // The silence goes into buffers of our own, never into the ones a node forwarded.
        assignBufferList(view, destination);
        planSilence(view, 0, frames);
        cycle.failed = true;
        // A tap hears what the bus gave: silence here.
        n.node->taps_.feed(bus, view, frames, cycle.when);
        return RenderStatus::error;
    }
    if (fixed && !planSameBuffers(view, destination)) {
        planCopy(destination, &view, frames);
        assignBufferList(view, destination);
    }
    n.node->taps_.feed(bus, view, frames, cycle.when);
    return status;
}

RenderStatus RenderPlan::renderBus(std::uint32_t node, std::uint32_t bus, std::uint32_t frames,
                                   RenderCycle& cycle, const AudioBufferList*& data) {
    Node& n = nodes_[node];
    Output& out = outputs_[n.firstOutput + bus];
    if (frames > n.capacity || out.own.numberBuffers == 0) {
        data = nullptr;
        cycle.failed = true;
        return RenderStatus::error;
    }
    if (out.renderedCycle == cycle.number) {
        // Already rendered for another consumer. A consumer asking for more frames than the first one
        // gets the rest as silence: rendering again would advance the node twice in one cycle. The rest
        // goes after a copy in the bus's own buffers, never into buffers it forwarded.
        if (frames > out.renderedFrames) {
            if (!planSameBuffers(out.view, out.own)) {
                planCopy(out.own, &out.view, out.renderedFrames);
                assignBufferList(out.view, out.own);
            }
            planSilence(out.view, out.renderedFrames, frames);
            planSetLength(out.view, frames);
            out.renderedFrames = frames;
        }
    } else {
        planSetLength(out.own, frames);
        out.status = callRender(node, bus, frames, out.own, out.view, false, cycle);
        out.renderedCycle = cycle.number;
        out.renderedFrames = frames;
    }
    data = out.status == RenderStatus::success ? &out.view : nullptr;
    return out.status;
}

RenderStatus RenderPlan::renderBusInto(std::uint32_t node, std::uint32_t bus, std::uint32_t frames,
                                       RenderCycle& cycle, AudioBufferList& into) {
    Node& n = nodes_[node];
    Output& out = outputs_[n.firstOutput + bus];
    // Straight into the consumer's buffers when nobody else reads the bus and they fit it.
    if (out.consumers == 1 && out.renderedCycle != cycle.number && frames <= n.capacity &&
        into.numberBuffers == out.own.numberBuffers) {
        planSetLength(into, frames);
        out.status = callRender(node, bus, frames, into, out.view, true, cycle);
        out.renderedCycle = cycle.number;
        out.renderedFrames = frames;
        return out.status;
    }
    const AudioBufferList* data = nullptr;
    const RenderStatus status = renderBus(node, bus, frames, cycle, data);
    planCopy(into, data, frames);
    return status;
}

RenderStatus RenderContext::pullInput(std::uint32_t bus, std::uint32_t frames, const AudioBufferList*& data) {
    data = nullptr;
    const RenderPlan::Node& n = plan_.nodes_[node_];
    if (bus >= n.inputCount) return RenderStatus::notConnected;
    const RenderPlan::Input& in = plan_.inputs_[n.firstInput + bus];
    if (in.source < 0) return RenderStatus::notConnected;
    return plan_.renderBus(std::uint32_t(in.source), in.sourceBus, frames, cycle_, data);
}

RenderStatus RenderContext::pullInputInto(std::uint32_t bus, std::uint32_t frames, AudioBufferList& into) {
    return pullInto(bus, frames, into);
}

inline RenderStatus RenderContext::pullInto(std::uint32_t bus, std::uint32_t frames, AudioBufferList& into) {
    const RenderPlan::Node& n = plan_.nodes_[node_];
    const RenderPlan::Input* in = bus < n.inputCount ? &plan_.inputs_[n.firstInput + bus] : nullptr;
    if (!in || in->source < 0) {
        planCopy(into, nullptr, frames);
        return RenderStatus::notConnected;
    }
    return plan_.renderBusInto(std::uint32_t(in->source), in->sourceBus, frames, cycle_, into);
}

RenderStatus RenderContext::forwardInput(std::uint32_t bus, std::uint32_t frames, AudioBufferList& out) {
    if (fixed_ || &out != &output_) return pullInto(bus, frames, out);
    const AudioBufferList* data = nullptr;
    const RenderStatus status = pullInput(bus, frames, data);
    if (data && data->numberBuffers == out.numberBuffers)
        assignBufferList(out, *data);
    else
        planCopy(out, data, frames);
    return status;
}

NodeRenderState* RenderContext::state() const {
    return plan_.nodes_[node_].state.get();
}

AudioFormat RenderContext::inputFormat(std::uint32_t bus) const {
    const RenderPlan::Node& n = plan_.nodes_[node_];
    return bus < n.inputCount ? plan_.inputs_[n.firstInput + bus].format : AudioFormat();
}

AudioFormat RenderContext::outputFormat(std::uint32_t bus) const {
    const RenderPlan::Node& n = plan_.nodes_[node_];
    return bus < n.outputCount ? plan_.outputs_[n.firstOutput + bus].format : AudioFormat();
}

std::uint32_t RenderContext::maximumFrames() const {
    return plan_.nodes_[node_].capacity;
}

} // namespace platform
