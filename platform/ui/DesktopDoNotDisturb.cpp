#include "platform/ui/DesktopDoNotDisturb.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <utility>

namespace platform {

namespace {

const QString dndPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString dndPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString dndPortalSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString dndBannersSchema = QStringLiteral("org.gnome.desktop.notifications");
const QString dndBannersKey = QStringLiteral("show-banners");
const std::string dndBannersPath = "/org/gnome/desktop/notifications/show-banners";

const QString dndDconfService = QStringLiteral("ca.desrt.dconf");
const QString dndDconfPath = QStringLiteral("/ca/desrt/dconf/Writer/user");
const QString dndDconfWriter = QStringLiteral("ca.desrt.dconf.Writer");

const QString dndNotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString dndNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage dndBannersReadCall() {
    QDBusMessage call = QDBusMessage::createMethodCall(dndPortalService, dndPortalPath, dndPortalSettings,
                                                       QStringLiteral("Read"));
    call << dndBannersSchema << dndBannersKey;
    return call;
}

QDBusMessage dndBannersWriteCall(bool value) {
    QDBusMessage call = QDBusMessage::createMethodCall(dndDconfService, dndDconfPath, dndDconfWriter,
                                                       QStringLiteral("Change"));
    const std::vector<std::uint8_t> blob = dconfBooleanChange(dndBannersPath, value);
    call << QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
    return call;
}

QDBusMessage dndInhibitCall() {
    QDBusMessage call = QDBusMessage::createMethodCall(dndNotificationsService, dndNotificationsPath,
                                                       dndNotificationsService, QStringLiteral("Inhibit"));
    call << QStringLiteral("com.fennorastudio.Vantle") << QStringLiteral("Playing music") << QVariantMap();
    return call;
}

QDBusMessage dndUninhibitCall(std::uint32_t cookie) {
    QDBusMessage call = QDBusMessage::createMethodCall(dndNotificationsService, dndNotificationsPath,
                                                       dndNotificationsService, QStringLiteral("UnInhibit"));
    call << quint32(cookie);
    return call;
}

// The portal wraps the value in one variant, older versions in two.
std::optional<bool> dndBoolAnswer(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    QVariant value = reply.arguments().constFirst();
    for (int depth = 0; depth < 4 && value.userType() == qMetaTypeId<QDBusVariant>(); ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    if (value.userType() != QMetaType::Bool) return std::nullopt;
    return value.toBool();
}

std::optional<std::uint32_t> dndCookieAnswer(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QVariant value = reply.arguments().constFirst();
    if (value.userType() != QMetaType::UInt) return std::nullopt;
    return value.toUInt();
}

// GVariant framing offsets are as wide as the container's total size needs.
std::size_t gvariantOffsetSize(std::size_t bodySize, std::size_t offsetCount) {
    for (std::size_t size : {1u, 2u, 4u}) {
        const std::size_t limit = (std::size_t(1) << (8 * size)) - 1;
        if (bodySize + offsetCount * size <= limit) return size;
    }
    return 8;
}

void gvariantAppendOffset(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(std::uint8_t(offset >> (8 * i)));
}

} // namespace

std::vector<std::uint8_t> dconfBooleanChange(const std::string& keyPath, bool value) {
    // One dictionary entry {s mv}: the key with its terminating zero, padding to the 8-byte alignment of the
    // variant, the variant (value, zero, type "b"), the zero that marks the maybe as present, then the
    // framing offset of the key's end.
    std::vector<std::uint8_t> entry(keyPath.begin(), keyPath.end());
    entry.push_back(0);
    const std::size_t keyEnd = entry.size();
    while (entry.size() % 8 != 0)
        entry.push_back(0);
    entry.insert(entry.end(), {std::uint8_t(value ? 1 : 0), 0, std::uint8_t('b'), 0});
    gvariantAppendOffset(entry, keyEnd, gvariantOffsetSize(entry.size(), 1));
    // The array of that one entry: the entry, then the framing offset of its end.
    std::vector<std::uint8_t> array = entry;
    gvariantAppendOffset(array, entry.size(), gvariantOffsetSize(entry.size(), 1));
    return array;
}

struct DesktopDoNotDisturb::State {
    Options options;
    // Parent of the pending watchers: destroying it drops every answer still to come.
    QObject context;
    bool wanted = false;
    bool bannersSilenced = false;
    bool readPending = false;
    std::optional<std::uint32_t> cookie;
    std::optional<QDBusPendingCall> pendingInhibit;

    QDBusPendingCall send(const QDBusMessage& message) {
        return QDBusConnection::sessionBus().asyncCall(message, options.callTimeoutMs);
    }
    QDBusMessage sendAndWait(const QDBusMessage& message) {
        return QDBusConnection::sessionBus().call(message, QDBus::Block, options.callTimeoutMs);
    }
    void whenAnswered(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> handler) {
        auto* watcher = new QDBusPendingCallWatcher(call, &context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context,
                         [handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                             finished->deleteLater();
                             handler(finished->reply());
                         });
    }
};

DesktopDoNotDisturb::DesktopDoNotDisturb() : DesktopDoNotDisturb(Options{}) {}

DesktopDoNotDisturb::DesktopDoNotDisturb(Options options) : state_(std::make_shared<State>()) {
    state_->options = options;
}

DesktopDoNotDisturb::~DesktopDoNotDisturb() {
    State& state = *state_;
    state.wanted = false;
    const std::optional<QDBusPendingCall> pendingInhibit = std::exchange(state.pendingInhibit, std::nullopt);
    const QObjectList watchers = state.context.children();
    qDeleteAll(watchers);
    if (state.bannersSilenced) state.sendAndWait(dndBannersWriteCall(true));
    if (pendingInhibit) {
        QDBusPendingCall call = *pendingInhibit;
        call.waitForFinished();
        state.cookie = dndCookieAnswer(call.reply());
    }
    if (state.cookie) state.sendAndWait(dndUninhibitCall(*state.cookie));
}

void DesktopDoNotDisturb::enable() {
    State& state = *state_;
    state.wanted = true;

    if (state.bannersSilenced) {
        state.send(dndBannersWriteCall(false));
    } else if (!state.readPending) {
        // Only banners that are on get switched off, so that only what this program changed is put back.
        state.readPending = true;
        state.whenAnswered(state.send(dndBannersReadCall()), [&state](const QDBusMessage& reply) {
            state.readPending = false;
            if (!state.wanted || state.bannersSilenced || dndBoolAnswer(reply) != std::optional<bool>(true))
                return;
            state.send(dndBannersWriteCall(false));
            state.bannersSilenced = true;
        });
    }

    if (!state.cookie && !state.pendingInhibit) {
        state.pendingInhibit = state.send(dndInhibitCall());
        state.whenAnswered(*state.pendingInhibit, [&state](const QDBusMessage& reply) {
            state.pendingInhibit.reset();
            const std::optional<std::uint32_t> cookie = dndCookieAnswer(reply);
            if (!cookie) return; // no server, or one without Inhibit
            if (state.wanted)
                state.cookie = cookie;
            else
                state.send(dndUninhibitCall(*cookie));
        });
    }
}

void DesktopDoNotDisturb::restore() {
    State& state = *state_;
    state.wanted = false;
    if (state.bannersSilenced) {
        state.send(dndBannersWriteCall(true));
        state.bannersSilenced = false;
    }
    if (state.cookie) {
        state.send(dndUninhibitCall(*state.cookie));
        state.cookie.reset();
    }
}

bool DesktopDoNotDisturb::bannersSilenced() const {
    return state_->bannersSilenced;
}

bool DesktopDoNotDisturb::notificationsInhibited() const {
    return state_->cookie.has_value();
}

} // namespace platform
