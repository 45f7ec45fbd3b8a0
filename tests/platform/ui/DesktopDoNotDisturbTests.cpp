// Do Not Disturb against fake desktop services on the session bus (scripts/test runs the tests on a private
// bus of their own).

#include "platform/ui/DesktopDoNotDisturb.h"

#include <QCoreApplication>
#include <QDBusArgument>
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

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using platform::DesktopDoNotDisturb;

namespace {

const std::string bannersKeyPath = "/org/gnome/desktop/notifications/show-banners";

// The change set dconf's writer takes for show-banners, as checked against the real dconf service: the key
// and its zero, two bytes of padding, the variant (value, zero, "b"), the maybe's zero, then the framing
// offsets 46 (end of the key) and 53 (end of the entry).
std::string expectedBannersChange(bool value) {
    std::string blob = bannersKeyPath;
    blob += std::string("\0\0\0", 3);
    blob += value ? '\x01' : '\x00';
    blob += std::string("\0b\0", 3);
    blob += '\x2e';
    blob += '\x35';
    return blob;
}

// How the fake desktop answers.
struct DesktopScript {
    std::optional<bool> showBanners = true; // none: the portal knows no such setting
    bool doubleWrapped = true;              // the portal's Read wraps the value in two variants
    bool inhibitOffered = false;
};

// One object path of a fake service: answers every call with `answer`, on the fakes' thread.
class FakeBusObject final : public QDBusVirtualObject {
public:
    explicit FakeBusObject(std::function<QDBusMessage(const QDBusMessage&)> answer)
        : answer_(std::move(answer)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        connection.send(answer_(message));
        return true;
    }

private:
    std::function<QDBusMessage(const QDBusMessage&)> answer_;
};

// The settings portal, the dconf writer and a notification server on a connection and thread of their own,
// recording the calls they get as lines.
class FakeDesktop {
public:
    explicit FakeDesktop(DesktopScript script) : script_(script) {
        static int serial = 0;
        connectionName_ = QStringLiteral("vantle-fake-desktop-%1").arg(++serial);
        bus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_));
        thread_.start();
        if (!takeTurn()) return;
        add(QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("/org/freedesktop/portal/desktop"),
            [this](const QDBusMessage& m) { return portal(m); });
        add(QStringLiteral("ca.desrt.dconf"), QStringLiteral("/ca/desrt/dconf/Writer/user"),
            [this](const QDBusMessage& m) { return dconf(m); });
        add(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            [this](const QDBusMessage& m) { return notifications(m); });
    }

    ~FakeDesktop() {
        for (const QString& service : services_)
            bus_->unregisterService(service);
        for (const QString& path : paths_)
            bus_->unregisterObject(path);
        if (holdsTurn_) bus_->unregisterService(turnName);
        bus_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
        thread_.quit();
        thread_.wait();
    }

    // False when the bus is missing or another program owns one of the names.
    bool ready() const { return ready_; }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> takeCalls() {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }
    std::vector<std::string> changes() const {
        std::lock_guard lock(mutex_);
        return changes_;
    }

    // Waits until every answer sent so far has reached the program: the fakes answer in order, so the answer
    // to a later call comes after them.
    bool settle() {
        QDBusMessage ping = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.vantle.Test"), QStringLiteral("Settle"));
        QDBusPendingCall call = QDBusConnection::sessionBus().asyncCall(ping, 5000);
        QDBusPendingCallWatcher watcher(call);
        bool answered = false;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
        const bool done = QTest::qWaitFor([&] { return answered; }, 5000);
        QCoreApplication::processEvents();
        return done;
    }

private:
    // CTest runs test programs side by side on one bus: the fakes of one test at a time own the names, the
    // others queue for a name of their own first.
    static inline const QString turnName = QStringLiteral("org.vantle.TestDesktopTurn");

    bool takeTurn() {
        ready_ = false;
        if (!bus_->isConnected() || !bus_->interface()) return false;
        QDBusConnectionInterface& names = *bus_->interface();
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = names.registerService(
            turnName, QDBusConnectionInterface::QueueService, QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid()) return false;
        holdsTurn_ = reply.value() == QDBusConnectionInterface::ServiceRegistered ||
                     QTest::qWaitFor(
                         [&] { return names.serviceOwner(turnName).value() == bus_->baseService(); }, 30000);
        ready_ = holdsTurn_;
        return ready_;
    }

    void add(const QString& service, const QString& path,
             std::function<QDBusMessage(const QDBusMessage&)> answer) {
        auto object = std::make_unique<FakeBusObject>(std::move(answer));
        object->moveToThread(&thread_);
        if (!bus_->isConnected() || !bus_->registerVirtualObject(path, object.get()) ||
            !bus_->registerService(service)) {
            ready_ = false;
            objects_.push_back(std::move(object));
            return;
        }
        paths_.push_back(path);
        services_.push_back(service);
        objects_.push_back(std::move(object));
    }

    void record(std::string line) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(line));
    }

    QDBusMessage portal(const QDBusMessage& m) {
        const QVariantList args = m.arguments();
        if (m.member() != QStringLiteral("Read") || args.size() != 2) return m.createReply();
        record("Read " + args[0].toString().toStdString() + " " + args[1].toString().toStdString());
        if (!script_.showBanners)
            return m.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                                      QStringLiteral("Requested setting not found"));
        QVariant value = QVariant::fromValue(QDBusVariant(*script_.showBanners));
        if (script_.doubleWrapped) value = QVariant::fromValue(QDBusVariant(value));
        return m.createReply(value);
    }

    QDBusMessage dconf(const QDBusMessage& m) {
        const QVariantList args = m.arguments();
        if (m.member() == QStringLiteral("Change") && args.size() == 1) {
            const QByteArray blob = args[0].toByteArray();
            std::lock_guard lock(mutex_);
            calls_.push_back("Change");
            changes_.push_back(blob.toStdString());
        }
        return m.createReply(QStringLiteral(":1.0:user:1"));
    }

    QDBusMessage notifications(const QDBusMessage& m) {
        const QVariantList args = m.arguments();
        if (m.member() == QStringLiteral("Settle")) return m.createReply();
        if (!script_.inhibitOffered)
            return m.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method"));
        if (m.member() == QStringLiteral("Inhibit") && args.size() == 3) {
            const bool noHints = qdbus_cast<QVariantMap>(args[2]).isEmpty();
            record("Inhibit " + args[0].toString().toStdString() + " | " + args[1].toString().toStdString() +
                   (noHints ? " | {}" : " | ?"));
            return m.createReply(QVariant::fromValue(quint32(nextCookie_++)));
        }
        if (m.member() == QStringLiteral("UnInhibit") && args.size() == 1) {
            record("UnInhibit " + std::to_string(args[0].toUInt()));
            return m.createReply();
        }
        return m.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("Unexpected call"));
    }

    DesktopScript script_;
    QString connectionName_;
    std::unique_ptr<QDBusConnection> bus_;
    QThread thread_;
    std::vector<std::unique_ptr<FakeBusObject>> objects_;
    std::vector<QString> paths_;
    std::vector<QString> services_;
    bool ready_ = false;
    bool holdsTurn_ = false;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::string> changes_;
    std::uint32_t nextCookie_ = 7;
};

// Skips the test when there is no session bus to put the fakes on.
#define REQUIRE_FAKE_DESKTOP(desktop)                                                                        \
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))                                             \
        GTEST_SKIP() << "no session bus: DBUS_SESSION_BUS_ADDRESS is unset (scripts/test provides one)";     \
    if (!(desktop).ready())                                                                                  \
    GTEST_SKIP() << "the fake desktop services could not take their names on this "                          \
                    "bus"

using Lines = std::vector<std::string>;
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
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, "Change", "Change"}));
    EXPECT_FALSE(dnd.notificationsInhibited()); // this server offers no Inhibit

    dnd.restore();
    EXPECT_FALSE(dnd.bannersSilenced());
    dnd.restore();
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.takeCalls(), Lines{"Change"});
    EXPECT_EQ(desktop.changes(), (Lines{expectedBannersChange(false), expectedBannersChange(false),
                                        expectedBannersChange(true)}));

    // Playing after a stop reads the user's value afresh.
    dnd.enable();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dnd.bannersSilenced(); }, 5000));
    dnd.restore();
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, "Change", "Change"}));
}

TEST(DesktopDoNotDisturb, leavesBannersTheUserSwitchedOffAlone) {
    FakeDesktop desktop({.showBanners = false, .doubleWrapped = false});
    REQUIRE_FAKE_DESKTOP(desktop);
    {
        DesktopDoNotDisturb dnd;
        dnd.enable();
        ASSERT_TRUE(desktop.settle());
        EXPECT_FALSE(dnd.bannersSilenced());
        dnd.restore();
        dnd.enable();
    }
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.calls(), (Lines{readBanners, readBanners}));
    EXPECT_TRUE(desktop.changes().empty());
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
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, inhibit, readBanners, "UnInhibit 7"}));
    EXPECT_FALSE(dnd.bannersSilenced());
    EXPECT_TRUE(desktop.changes().empty());
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
    EXPECT_TRUE(desktop.changes().empty());
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
        desktop.takeCalls();
    }
    // The destructor waited for both answers; no event loop ran since.
    EXPECT_EQ(desktop.takeCalls(), (Lines{"Change", "UnInhibit 7"}));
    EXPECT_EQ(desktop.changes(), (Lines{expectedBannersChange(false), expectedBannersChange(true)}));

    // Quitting while the answers are still on their way: the inhibition is waited for and given back, the
    // setting was never touched.
    {
        DesktopDoNotDisturb dnd;
        dnd.enable();
    }
    EXPECT_EQ(desktop.takeCalls(), (Lines{readBanners, inhibit, "UnInhibit 8"}));
    ASSERT_TRUE(desktop.settle());
    EXPECT_TRUE(desktop.calls().empty());
    EXPECT_EQ(desktop.changes().size(), 2u);
}

TEST(DesktopDoNotDisturb, doesNothingWhereTheDesktopOffersNeither) {
    FakeDesktop desktop({.showBanners = std::nullopt});
    REQUIRE_FAKE_DESKTOP(desktop);
    {
        DesktopDoNotDisturb dnd;
        dnd.enable();
        ASSERT_TRUE(desktop.settle());
        EXPECT_FALSE(dnd.bannersSilenced());
        EXPECT_FALSE(dnd.notificationsInhibited());
        dnd.restore();
    }
    ASSERT_TRUE(desktop.settle());
    EXPECT_EQ(desktop.calls(), Lines{readBanners});
    EXPECT_TRUE(desktop.changes().empty());
}

TEST(DesktopDoNotDisturb, dconfChangeSetsWidenTheirOffsetsForLongKeys) {
    const std::string expected = expectedBannersChange(true);
    EXPECT_EQ(platform::dconfBooleanChange(bannersKeyPath, true),
              std::vector<std::uint8_t>(expected.begin(), expected.end()));

    // 300 characters: the entry outgrows 255 bytes, so both framing offsets take two bytes.
    const std::string longKey = "/" + std::string(299, 'k');
    const std::vector<std::uint8_t> blob = platform::dconfBooleanChange(longKey, false);
    ASSERT_EQ(blob.size(), 312u);
    EXPECT_EQ(blob[300], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(blob.begin() + 304, blob.end()),
              (std::vector<std::uint8_t>{0, 0, 'b', 0, 301 & 0xff, 301 >> 8, 310 & 0xff, 310 >> 8}));
}
