#include "RozezEru/MIDI/MIDI.h"

#include "RozezEru/Internals/Log.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace rozezeru {

namespace {

std::atomic<std::shared_ptr<MIDI>>& sharedMIDI() {
    static std::atomic<std::shared_ptr<MIDI>> instance;
    return instance;
}

} // namespace

MIDI::MIDI(std::shared_ptr<platform::MIDIService> service) : service_(std::move(service)) {}

MIDI::~MIDI() = default;

std::shared_ptr<MIDI> MIDI::make(std::shared_ptr<platform::MIDIService> service) {
    std::shared_ptr<MIDI> midi(new MIDI(std::move(service)));
    midi->createClient();
    return midi;
}

void MIDI::createClient() {
    Log(LogSite("init()", OSLog::midi()), "Initializing MIDI");
    if (client_ != 0) return;
    // The service may outlive the object: its blocks hold the object weakly.
    std::weak_ptr<MIDI> weak = weak_from_this();
    const auto status = service_->clientCreate(
        clientName,
        [weak](const platform::MIDINotification& notification) {
            if (auto midi = weak.lock()) midi->notify(notification);
        },
        client_);
    if (status != platform::kMIDINoErr)
        Log(LogSite("init()", OSLog::midi(), LogType::error), "Error creating MIDI client:", status);
}

std::shared_ptr<MIDI> MIDI::shared() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!sharedMIDI().load()) sharedMIDI().store(make());
    });
    return sharedMIDI().load();
}

void MIDI::setShared(std::shared_ptr<MIDI> midi) {
    sharedMIDI().store(std::move(midi));
}

void MIDI::notify(const platform::MIDINotification& notification) {
    const auto listeners = listeners_.snapshot();
    switch (notification.messageID) {
    case platform::MIDINotificationMessageID::setupChanged:
        for (auto& listener : *listeners)
            listener->receivedMIDISetupChange();
        break;
    case platform::MIDINotificationMessageID::propertyChanged:
        for (auto& listener : *listeners)
            listener->receivedMIDIPropertyChange(
                static_cast<const platform::MIDIObjectPropertyChangeNotification&>(notification));
        break;
    default:
        for (auto& listener : *listeners)
            listener->receivedMIDINotification(notification);
        break;
    }
}

void MIDI::addListener(std::shared_ptr<MIDIListener> listener) {
    listeners_.append(std::move(listener));
}

void MIDI::removeListener(const MIDIListener& listener) {
    listeners_.removeIf([&](const std::shared_ptr<MIDIListener>& entry) { return entry.get() == &listener; });
}

void MIDI::clearListeners() {
    listeners_.clear();
}

void MIDI::addTransformer(std::shared_ptr<MIDITransformer> transformer) {
    transformers_.append(std::move(transformer));
}

void MIDI::removeTransformer(const MIDITransformer& transformer) {
    transformers_.removeIf(
        [&](const std::shared_ptr<MIDITransformer>& entry) { return entry.get() == &transformer; });
}

void MIDI::clearTransformers() {
    transformers_.clear();
}

MIDIUniqueID MIDI::uniqueID(MIDIEndpointRef endpoint) const {
    std::int32_t id = 0;
    if (service_->objectGetIntegerProperty(endpoint, platform::kMIDIPropertyUniqueID, id) !=
        platform::kMIDINoErr)
        return 0;
    return id;
}

std::string MIDI::name(MIDIEndpointRef endpoint) const {
    std::string text;
    if (service_->objectGetStringProperty(endpoint, platform::kMIDIPropertyName, text) !=
        platform::kMIDINoErr)
        return {};
    return text;
}

std::vector<MIDIEndpointRef> MIDI::endpointRefs(bool sources) const {
    // The client's own endpoints of the other direction are left out; the placeholder 0 is no endpoint.
    const auto& own = sources ? virtualOutputs_ : virtualInputs_;
    const std::size_t count = sources ? service_->numberOfSources() : service_->numberOfDestinations();
    std::vector<MIDIEndpointRef> refs;
    for (std::size_t i = 0; i < count; ++i) {
        const auto ref = sources ? service_->source(i) : service_->destination(i);
        if (ref != 0 && std::find(own.begin(), own.end(), ref) == own.end()) refs.push_back(ref);
    }
    return refs;
}

std::vector<MIDIEndpointRef> MIDI::inputRefs() const {
    return endpointRefs(true);
}

std::vector<MIDIUniqueID> MIDI::inputUIDs() const {
    std::vector<MIDIUniqueID> ids;
    for (auto ref : inputRefs())
        ids.push_back(uniqueID(ref));
    return ids;
}

std::vector<std::string> MIDI::inputNames() const {
    std::vector<std::string> names;
    for (auto ref : inputRefs())
        names.push_back(name(ref));
    return names;
}

std::optional<std::string> MIDI::inputName(MIDIUniqueID uid) const {
    for (auto ref : inputRefs())
        if (uniqueID(ref) == uid) return name(ref);
    return std::nullopt;
}

MIDIUniqueID MIDI::inputUID(int position) const {
    const auto refs = inputRefs();
    return position >= 0 && static_cast<std::size_t>(position) < refs.size() ? uniqueID(refs[position]) : 0;
}

std::vector<MIDIEndpointRef> MIDI::destinationRefs() const {
    return endpointRefs(false);
}

std::vector<MIDIUniqueID> MIDI::destinationUIDs() const {
    std::vector<MIDIUniqueID> ids;
    for (auto ref : destinationRefs())
        ids.push_back(uniqueID(ref));
    return ids;
}

std::vector<std::string> MIDI::destinationNames() const {
    std::vector<std::string> names;
    for (auto ref : destinationRefs())
        names.push_back(name(ref));
    return names;
}

std::string MIDI::destinationName(MIDIUniqueID uid) const {
    for (auto ref : destinationRefs())
        if (uniqueID(ref) == uid) return name(ref);
    return "Unknown";
}

MIDIUniqueID MIDI::destinationUID(int position) const {
    const auto refs = destinationRefs();
    return position >= 0 && static_cast<std::size_t>(position) < refs.size() ? uniqueID(refs[position]) : 0;
}

std::vector<EndpointInfo> MIDI::destinationInfos() const {
    std::vector<EndpointInfo> infos;
    for (std::size_t i = 0, count = service_->numberOfDestinations(); i < count; ++i)
        infos.push_back(EndpointInfo::read(*service_, service_->destination(i)));
    return infos;
}

std::vector<EndpointInfo> MIDI::inputInfos() const {
    std::vector<EndpointInfo> infos;
    for (std::size_t i = 0, count = service_->numberOfSources(); i < count; ++i)
        infos.push_back(EndpointInfo::read(*service_, service_->source(i)));
    return infos;
}

std::vector<EndpointInfo> MIDI::virtualInputInfos() const {
    std::vector<EndpointInfo> infos;
    for (auto endpoint : virtualInputs_)
        infos.push_back(EndpointInfo::read(*service_, endpoint));
    return infos;
}

std::vector<EndpointInfo> MIDI::virtualOutputInfos() const {
    std::vector<EndpointInfo> infos;
    for (auto endpoint : virtualOutputs_)
        infos.push_back(EndpointInfo::read(*service_, endpoint));
    return infos;
}

} // namespace rozezeru
