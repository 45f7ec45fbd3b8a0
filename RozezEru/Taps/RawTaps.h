#pragma once
// Taps that hand a node's audio on without analysis: RawBufferTap passes each buffer with its time,
// RawDataTap the first channel's samples as a list. Both call their handler on the callback queue;
// RawDataTap::data() may be read from any thread.

#include "RozezEru/Taps/BaseTap.h"

#include <functional>
#include <mutex>
#include <vector>

namespace rozezeru {

class RawBufferTap : public BaseTap {
public:
    using Handler = std::function<void(const Buffer&, const platform::AudioTime&)>;

    RawBufferTap(std::shared_ptr<Node> input, std::uint32_t bufferSize,
                 platform::DispatchQueue& callbackQueue, Handler handler);

protected:
    void handleBuffer(const Buffer& buffer, const platform::AudioTime& when) override;

private:
    const Handler handler_;
};

class RawDataTap : public BaseTap {
public:
    using Handler = std::function<void(const std::vector<float>&)>;

    RawDataTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, platform::DispatchQueue& callbackQueue,
               Handler handler);

    std::vector<float> data() const;
    void setData(std::vector<float> data);

    void stop() override;

protected:
    void handleBuffer(const Buffer& buffer, const platform::AudioTime& when) override;

private:
    mutable std::mutex mutex_;
    std::vector<float> data_;
    const Handler handler_;
};

} // namespace rozezeru
