#pragma once

#include "MutterControl.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <QDBusConnection>
#include <QFile>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>

namespace testing_support {

// The system's keyboard settings, as mutter's default plugin asks systemd's
// locale service for them; served by the test on a bus of its own.
class LocaleService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.locale1")
    Q_PROPERTY(QString X11Layout MEMBER layout)
    Q_PROPERTY(QString X11Variant MEMBER none)
    Q_PROPERTY(QString X11Options MEMBER none)

public:
    QString layout, none;
};

// A private session bus and, unless `bare`, a headless GNOME desktop on it:
// mutter with one 1280×800 virtual monitor, no X and a German keyboard,
// PipeWire and its session manager; the portal starts on demand. The test process is pointed
// at them (bus, runtime folder, Wayland display), so make one per process.
class HeadlessGnome {
public:
    explicit HeadlessGnome(bool bare = false)
    {
        // The bus hands its own environment to the portal it starts.
        env_ = ChildProcess::Inherited({{"XDG_RUNTIME_DIR", runtime_.path()}, {"WAYLAND_DISPLAY", "wayland-marquelin"},
                                        {"XDG_CURRENT_DESKTOP", "GNOME"}, {"XDG_SESSION_TYPE", "wayland"},
                                        {"DISPLAY", ""}, {"GSETTINGS_BACKEND", "memory"}, {"ASAN_OPTIONS", ""},
                                        {"LSAN_OPTIONS", ""}});
        if (!StartBus(bare, bus_, &address_) || (!bare && !StartBus(true, system_, &systemAddress_)))
            return;
        env_["DBUS_SESSION_BUS_ADDRESS"] = address_;
        env_["DBUS_SYSTEM_BUS_ADDRESS"] = systemAddress_;
        for (const auto& [name, value] : env_)
            if (name == "DBUS_SESSION_BUS_ADDRESS" || name == "XDG_RUNTIME_DIR" || name == "WAYLAND_DISPLAY"
                || name == "XDG_SESSION_TYPE" || name == "XDG_CURRENT_DESKTOP")
                setenv(name.c_str(), value.c_str(), 1);
        unsetenv("DISPLAY");
        if (bare) {
            ready_ = true;
            return;
        }
        locale_.layout = "de";
        auto system = QDBusConnection::connectToBus(QString::fromStdString(systemAddress_), "marquelin-system");
        ready_ = system.registerObject("/org/freedesktop/locale1", &locale_, QDBusConnection::ExportAllProperties)
                 && system.registerService("org.freedesktop.locale1")
                 && pipewire_.Start({"/usr/bin/pipewire"}, env_, logs_.File("pipewire.log"))
                 && WaitUntil([this] { return QFile::exists(QString::fromStdString(runtime_.File("pipewire-0"))); })
                 && wireplumber_.Start({"/usr/bin/wireplumber"}, env_, logs_.File("wireplumber.log"))
                 && mutter_.Start({"/usr/bin/mutter", "--wayland", "--headless", "--no-x11", "--virtual-monitor",
                                   "1280x800", "--wayland-display", "wayland-marquelin"},
                                  env_, logs_.File("mutter.log"))
                 && WaitUntil([] {
                        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                            QStringLiteral("org.gnome.Mutter.RemoteDesktop"));
                    });
    }

    bool Ready() const { return ready_; }
    const ChildProcess::Environment& Environment() const { return env_; }
    std::string Log() const { return "mutter:\n" + mutter_.Output() + "\nbus:\n" + bus_.Output(); }

    // Answers the desktop's next consent dialog as a user would, with the
    // pointer of mutter's own remote-desktop interface (which asks nobody),
    // once its own screencast shows the dialog: `accept` turns remote
    // interaction on and shares, else the dialog is cancelled. The answer is
    // given from the event loop while the caller waits for the portal.
    bool AnswerNextDialog(bool accept)
    {
        QString error;
        if (!control_ && !(control_ = MutterControl::Open(runtime_.path(), &error)))
            return false;
        step_ = ticks_ = 0;
        QObject::disconnect(&answerer_, nullptr, nullptr, nullptr);
        QObject::connect(&answerer_, &QTimer::timeout, [this, accept] {
            // Where the dialog lies on the 1280×800 monitor.
            const QPoint share(852, 273), cancel(430, 273), interaction(830, 472);
            const QPoint shareEdge(818, 285);  // beside the label
            const auto blue = [this](QPoint at) {
                const uint32_t p = control_->Pixel(at);
                return (p & 0xff) > 0xc0 && (p & 0xff) > ((p >> 16) & 0xff) + 60;  // the dialog's accent
            };
            // A click that comes before the dialog takes input is lost: each
            // step clicks again every two seconds until it shows.
            const bool again = ++ticks_ % 20 == 1;
            if (step_ == 0 && blue(shareEdge))
                step_ = accept ? 1 : 2, ticks_ = 0;
            if (step_ == 1 && blue(interaction + QPoint(-15, 0)))
                step_ = 2, ticks_ = 0;
            else if (step_ == 1 && again)
                control_->Click(interaction);
            if (step_ == 2 && !blue(shareEdge))
                answerer_.stop();
            else if (step_ == 2 && again)
                control_->Click(accept ? share : cancel);
        });
        answerer_.start(100);
        return true;
    }
    void StopAnswering() { answerer_.stop(); }
    // The desktop's side of the portal sessions: what it shows as sharing.
    QStringList Sharings()
    {
        QStringList sessions;
        for (const QString& sender : MutterControl::Children(kBackend, QStringLiteral("/org/freedesktop/portal/desktop/session")))
            sessions += MutterControl::Children(kBackend, sender);
        return sessions;
    }
    // The desktop ends its side of every portal session behind the programs'
    // backs, as when its screencast stops: their streams end, nothing more.
    void EndSharing()
    {
        for (const QString& session : Sharings())
            QDBusConnection::sessionBus().call(
                QDBusMessage::createMethodCall(kBackend, session, "org.freedesktop.impl.portal.Session", "Close"));
    }

private:
    inline static const QString kBackend = QStringLiteral("org.freedesktop.impl.portal.desktop.gnome");

    // dbus-daemon prints its address on descriptor 3 once it listens.
    bool StartBus(bool bare, ChildProcess& bus, std::string* address)
    {
        // Buses on socket files, not abstract ones, reach programs in other network namespaces.
        std::vector<std::string> argv{"/usr/bin/dbus-daemon", "--session", "--address=unix:dir=" + runtime_.path(),
                                      "--nofork", "--print-address=3"};
        if (bare) {
            // A bus that can start no service: no portal to be found.
            std::ofstream(logs_.File("bus.conf"))
                << "<busconfig><type>session</type><listen>unix:tmpdir=" << runtime_.path()
                << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\""
                   " eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";
            argv[1] = "--config-file=" + logs_.File("bus.conf");
        }
        int fds[2];
        if (runtime_.path().empty() || pipe2(fds, O_CLOEXEC) != 0)
            return false;
        const bool started = bus.Start(argv, env_, logs_.File(&bus == &bus_ ? "bus.log" : "system.log"), fds[1]);
        close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (started && c != '\n' && poll(&ready, 1, kHangMs) == 1 && read(fds[0], &c, 1) == 1)
            if (c != '\n')
                *address += c;
        close(fds[0]);
        return !address->empty();
    }

    TempDir runtime_{"marquelin-wayland-run"};
    TempDir logs_{"marquelin-wayland-logs"};
    std::string address_, systemAddress_;
    LocaleService locale_;
    ChildProcess::Environment env_;
    ChildProcess bus_, system_, pipewire_, wireplumber_, mutter_;
    std::unique_ptr<MutterControl> control_;
    QTimer answerer_;
    int step_ = 0, ticks_ = 0;
    bool ready_ = false;
};

}  // namespace testing_support
