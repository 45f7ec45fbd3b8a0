#pragma once
// A lighter way to tap a node: any Tap installed on bus 0 of a node with install() receives every
// buffer, as delivered, on a serial queue of its own (so in order and never two at once), with no
// start or stop state. RawDataTap2 hands the first channel's first samples to a handler there.

#include "platform/audio/AudioTime.h"
#include "platform/audio/PcmBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace rozezeru {

class Node;

class Tap {
public:
    virtual ~Tap() = default;
    // On the install's serial queue.
    virtual void receive(const std::shared_ptr<platform::PcmBuffer>& buffer,
                         const platform::AudioTime& when) = 0;
};

// Logs and installs nothing when the node has no engine or bus 0 carries a tap already. The
// installed tap keeps `tap` alive until it is removed from the node's platform node.
void install(Node& node, std::shared_ptr<Tap> tap, std::uint32_t bufferSize);

class RawDataTap2 : public Tap {
public:
    using Handler = std::function<void(const std::vector<float>&)>;
    // Up to this many samples per buffer.
    static constexpr std::uint32_t sampleCount = 1024;

    // The node is not kept; install the object with install().
    RawDataTap2(const std::shared_ptr<Node>& node, Handler handler);

    void receive(const std::shared_ptr<platform::PcmBuffer>& buffer,
                 const platform::AudioTime& when) override;

private:
    const Handler handler_;
};

} // namespace rozezeru
