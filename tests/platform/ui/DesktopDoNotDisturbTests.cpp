// Do Not Disturb against fake desktop services on the session bus (scripts/test runs the tests on a private
// bus of their own).

#include "platform/ui/DesktopDoNotDisturb.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <QVariantMap>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using platform::DesktopDoNotDisturb;
using Lines = std::vector<std::string>;

namespace {

const std::string bannersKeyPath = "/org/gnome/desktop/notifications/show-banners";

// The change set dconf's writer takes for show-banners, as checked against the real dconf service: the key
// and its zero, two bytes of padding, the variant (value, zero, "b"), the maybe's zero, then the framing
// offsets 46 (end of the key) and 53 (end of the entry).
QByteArray expectedBannersChange(bool value) {
    return QByteArray::fromStdString(bannersKeyPath) + QByteArray("\0\0\0", 3) + char(value ? 1 : 0) +
           QByteArray("\0b\0", 3) + '\x2e' + '\x35';
}

// How the fake desktop answers.
struct DesktopScript {
    std::optional<bool> showBanners = true; // none: the portal knows no such setting
    bool doubleWrapped = true;              // the portal's Read wraps the value in two variants
    bool inhibitOffered = false;
};

// The settings portal, the dconf writer and a notification server on a connection and thread of their own,
// recording the calls they get as lines ("Change off" for a dconf change set that switches banners off).
class FakeDesktop final : public QDBusVirtualObject {
public:
    explicit FakeDesktop(DesktopScript script)
        : script_(script), name_(QStringLiteral("vantle-fake-desktop-%1").arg(++serial_)),
          bus_(std::make_unique<QDBusConnection>(
              QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_))) {
        thread_.start();
        moveToThread(&thread_);
        ready_ = takeTurn();
        for (const auto& [service, path] : services)
            ready_ = ready_ && bus_->registerVirtualObject(path, this) && bus_->registerService(service);
    }
    ~FakeDesktop() override {
        for (const auto& [service, path] : services) {
            bus_->unregisterService(service);
            bus_->unregisterObject(path);
        }
        bus_->unregisterService(turnName);
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
        thread_.quit();
        thread_.wait();
    }

    // False when the bus is missing or another program owns one of the names.
    bool ready() const { return ready_; }
    Lines calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    Lines takeCalls() {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }

    // Waits until every answer sent so far has reached the program's handlers: the fakes answer in order, so
    // the answer to a later call comes after them. A watcher made after its answer had arrived hands it on in
    // two posted steps, so the wait is for this call's handler, then for one more pass of the event loop.
    bool settle() {
        QDBusPendingCallWatcher watcher(
            QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                services[2].first, services[2].second, "org.vantle.Test", "Settle")));
        bool handled = false;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&handled] { handled = true; });
        const bool done = QTest::qWaitFor([&] { return handled; }, 5000);
        QCoreApplication::processEvents();
        return done;
    }

    // Answers each call on the fakes' thread.
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        connection.send(answer(message));
        return true;
    }

private:
    static inline const std::pair<QString, QString> services[] = {
        {"org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop"},
        {"ca.desrt.dconf", "/ca/desrt/dconf/Writer/user"},
        {"org.freedesktop.Notifications", "/org/freedesktop/Notifications"}};
    // CTest runs test programs side by side on one bus: the fakes of one test at a time own the names, the
    // others queue for a name of their own first.
    static inline const QString turnName = QStringLiteral("org.vantle.TestDesktopTurn");
    static inline int serial_ = 0;

    bool takeTurn() {
        if (!bus_->isConnected() || !bus_->interface()) return false;
        QDBusConnectionInterface& names = *bus_->interface();
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = names.registerService(
            turnName, QDBusConnectionInterface::QueueService, QDBusConnectionInterface::DontAllowReplacement);
        return reply.isValid() &&
               (reply.value() == QDBusConnectionInterface::ServiceRegistered ||
                QTest::qWaitFor([&] { return names.serviceOwner(turnName).value() == bus_->baseService(); },
                                30000));
    }

    void record(std::string line) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(line));
    }

    QDBusMessage answer(const QDBusMessage& m) {
        const QVariantList args = m.arguments();
        const std::string member = m.member().toStdString();
        if (m.path() == services[0].second && member == "Read" && args.size() == 2) {
            record("Read " + args[0].toString().toStdString() + " " + args[1].toString().toStdString());
            if (!script_.showBanners)
                return m.createErrorReply("org.freedesktop.portal.Error.NotFound",
                                          "Requested setting not found");
            QVariant value = QVariant::fromValue(QDBusVariant(*script_.showBanners));
            return m.createReply(script_.doubleWrapped ? QVariant::fromValue(QDBusVariant(value)) : value);
        }
        if (m.path() == services[1].second && member == "Change" && args.size() == 1) {
            const QByteArray blob = args[0].toByteArray();
            record(blob == expectedBannersChange(false)  ? "Change off"
                   : blob == expectedBannersChange(true) ? "Change on"
                                                         : "Change ?");
            return m.createReply(QStringLiteral(":1.0:user:1"));
        }
        if (member == "Settle") return m.createReply();
        if (!script_.inhibitOffered) return m.createErrorReply(QDBusError::UnknownMethod, "No such method");
        if (member == "Inhibit" && args.size() == 3) {
            record("Inhibit " + args[0].toString().toStdString() + " | " + args[1].toString().toStdString() +
                   (qdbus_cast<QVariantMap>(args[2]).isEmpty() ? " | {}" : " | ?"));
            return m.createReply(QVariant::fromValue(quint32(nextCookie_++)));
        }
        if (member == "UnInhibit" && args.size() == 1) {
            record("UnInhibit " + std::to_string(args[0].toUInt()));
            return m.createReply();
        }
        return m.createErrorReply(QDBusError::InvalidArgs, "Unexpected call");
    }

    DesktopScript script_;
    QString name_;
    std::unique_ptr<QDBusConnection> bus_;
    QThread thread_;
    bool ready_ = false;
    mutable std::mutex mutex_;
    Lines calls_;
    std::uint32_t nextCookie_ = 7;
};

// Skips the test when there is no session bus to put the fakes on.
#define REQUIRE_FAKE_DESKTOP(desktop)                                                                        \
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))                                             \
        GTEST_SKIP() << "no session bus: DBUS_SESSION_BUS_ADDRESS is unset (scripts/test provides one)";     \
    if (!(desktop).ready())                                                                                  \
    GTEST_SKIP() << "the fake desktop services could not take their names on this "                          \
                    "bus"

const std::string readBanners = "Read org.gnome.desktop.notifications show-banners";
const std::string inhibit = "Inhibit com.fennorastudio.Vantle | Playing music | {}";

} // namespace

TEST(DesktopDoNotDisturb, silencesGnomeBannersAndPutsThemBackWhenPlaybackStops) {
    FakeDesktop desktop({});
    REQUIRE_FAKE_DESKTOP(desktop);
    DesktopDoNotDisturb dnd;

    dnd.enable();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dnd.bannersSilenced(); }, 5000));
    // Playing again writes the same value again, without reading what is now this program's own value.
    dnd.enable();
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, "Change off", "Change off"}));
    EXPECT_FALSE(dnd.notificationsInhibited()); // this server offers no Inhibit

    dnd.restore();
    EXPECT_FALSE(dnd.bannersSilenced());
    dnd.restore();
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.takeCalls(), Lines{"Change on"});

    // Playing after a stop reads the user's value afresh.
    dnd.enable();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dnd.bannersSilenced(); }, 5000));
    dnd.restore();
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, "Change off", "Change on"}));
}

TEST(DesktopDoNotDisturb, leavesBannersTheUserSwitchedOffAloneAndDoesNothingWhereTheDesktopOffersNeither) {
    for (const DesktopScript script : {DesktopScript{.showBanners = false, .doubleWrapped = false},
                                       DesktopScript{.showBanners = std::nullopt}}) {
        FakeDesktop desktop(script);
        REQUIRE_FAKE_DESKTOP(desktop);
        {
            DesktopDoNotDisturb dnd;
            dnd.enable();
            ASSERT_TRUE(desktop.settle());
            EXPECT_FALSE(dnd.bannersSilenced());
            EXPECT_FALSE(dnd.notificationsInhibited());
            dnd.restore();
            dnd.enable();
        }
        ASSERT_TRUE(desktop.settle());
        EXPECT_EQ(desktop.calls(), (Lines{readBanners, readBanners}));
    }
}

TEST(DesktopDoNotDisturb, holdsOneInhibitionOfTheNotificationServerWhilePlaying) {
    FakeDesktop desktop({.showBanners = std::nullopt, .inhibitOffered = true});
    REQUIRE_FAKE_DESKTOP(desktop);
    DesktopDoNotDisturb dnd;

    dnd.enable();
    dnd.enable(); // asked again before the answer: still one inhibition
    ASSERT_TRUE(QTest::qWaitFor([&] { return dnd.notificationsInhibited(); }, 5000));
    dnd.enable();
    ASSERT_TRUE(desktop.settle());
    dnd.restore();
    EXPECT_FALSE(dnd.notificationsInhibited());
    ASSERT_TRUE(desktop.settle());
    // Without the setting, each start asks the portal again.
    EXPECT_EQ(desktop.calls(), (Lines{readBanners, inhibit, readBanners, "UnInhibit 7"}));
    EXPECT_FALSE(dnd.bannersSilenced());
}

TEST(DesktopDoNotDisturb, aStopBeforeTheAnswersLeavesNothingSwitched) {
    FakeDesktop desktop({.inhibitOffered = true});
    REQUIRE_FAKE_DESKTOP(desktop);
    DesktopDoNotDisturb dnd;

    dnd.enable();
    dnd.restore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls().size() == 3; }, 5000));
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.calls(), (Lines{readBanners, inhibit, "UnInhibit 7"}));
    EXPECT_FALSE(dnd.bannersSilenced());
    EXPECT_FALSE(dnd.notificationsInhibited());
}

TEST(DesktopDoNotDisturb, quittingWhilePlayingRestoresBeforeTheObjectIsGone) {
    FakeDesktop desktop({.inhibitOffered = true});
    REQUIRE_FAKE_DESKTOP(desktop);
    {
        DesktopDoNotDisturb dnd;
        dnd.enable();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return dnd.bannersSilenced() && dnd.notificationsInhibited(); }, 5000));
        ASSERT_TRUE(desktop.settle());
        EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, inhibit, "Change off"}));
    }
    // The destructor waited for both answers; no event loop ran since.
    EXPECT_EQ(desktop.takeCalls(), (Lines{"Change on", "UnInhibit 7"}));

    // Quitting while the answers are still on their way: the inhibition is waited for and given back, the
    // setting was never touched.
    {
        DesktopDoNotDisturb dnd;
        dnd.enable();
    }
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, inhibit, "UnInhibit 8"}));
    ASSERT_TRUE(desktop.settle());
    EXPECT_TRUE(desktop.calls().empty());
}

TEST(DesktopDoNotDisturb, dconfChangeSetsWidenTheirOffsetsForLongKeys) {
    // 300 characters: the entry outgrows 255 bytes, so both framing offsets take two bytes.
    const std::vector<std::uint8_t> blob = platform::dconfBooleanChange("/" + std::string(299, 'k'), false);
    ASSERT_EQ(blob.size(), 312u);
    EXPECT_EQ(blob[300], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(blob.begin() + 304, blob.end()),
              (std::vector<std::uint8_t>{0, 0, 'b', 0, 301 & 0xff, 301 >> 8, 310 & 0xff, 310 >> 8}));
}
