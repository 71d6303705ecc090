#include "LinkSides.h"

#include "ChangingDesktop.h"
#include "ShapedLink.h"

#include "core/account/AccountStore.h"
#include "core/account/UrlOpener.h"
#include "core/imaging/DrawSurface.h"
#include "core/shell/Dialogs.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"
#include "platform/x11/DamageSourceX11.h"
#include "platform/x11/ScreenSourceX11.h"
#include "relay/RelayServer.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/resource.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <pthread.h>

namespace framelink {

namespace {

class QuietDialogs final : public shell::Dialogs {
public:
    shell::MessageAnswer MessageBox(const QString&, const QString&, shell::MessageIcon, shell::MessageButtons) override
    {
        return shell::MessageAnswer::Ok;
    }
    void ShowModal(account::frmCadastro&) override {}
    void ShowModal(shell::frmSobre&) override {}
};
class NoClipboard final : public shell::Clipboard {
public:
    void SetText(const QString&) override {}
};
class NoUrls final : public account::UrlOpener {
public:
    void OpenUrl(const QString&) override {}
};

class EventLog {
public:
    explicit EventLog(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {}
    ~EventLog()
    {
        if (file_)
            std::fclose(file_);
    }
    template <typename... Values>
    void Line(const char* format, Values... values)
    {
        if (!file_)
            return;
        std::fprintf(file_, format, values...);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

private:
    std::FILE* file_;
};

long long CpuNs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000000LL
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1000LL;
}

// One device's main window with the platform seams a side needs, in an
// accepted session whose identifiers both sides share.
struct Device {
    Device(imaging::ScreenSource* screen, updates::DamageSource* damage, int versao)
        : window({clock, dialogs, clipboard, urls, store, nullptr, nullptr, screen, nullptr, damage})
    {
        shell::frmMain& w = window;
        w.s.versao_link = versao;
        w.s.RotaAutomatica = true;
        w.s.sessao_id = "bench-1";
        w.s.stream_key = "bench-key";
        w.s.codigo_id = "c1";
    }
    timing::SystemClock clock;
    QuietDialogs dialogs;
    NoClipboard clipboard;
    NoUrls urls;
    QTemporaryDir folder;
    account::AccountStore store{folder.filePath("Marquelin.conf")};
    shell::frmMain window;
};

// The technician's preview: nothing is painted, each shown frame's stamp is
// logged; the last picture is kept where the side drew it from.
class StampReader final : public imaging::DrawSurface {
public:
    StampReader(const session::SessionRecord& s, EventLog& log) : s_(s), log_(log) {}
    QSize DrawableSize() const override { return {640, 360}; }
    void Clear() override {}
    void DrawPicture(const QImage& picture, const QRect&) override
    {
        stamp_ = Stamp::Read(picture, s_.RemoteWidth, s_.RemoteHeight);
        last_ = &picture;
    }
    void Refresh() override { log_.Line("shown %lld %lld", static_cast<long long>(stamp_), static_cast<long long>(MonotonicNs())); }
    // Updates composed in place: the picture holds every update so far, the
    // stamp is read from it whatever part changed.
    void DrawComposed(const QImage& picture, const imaging::CursorImage&, const QRect& into, const QRegion&) override
    {
        DrawPicture(picture, into);
        Refresh();
    }

    void Save(const std::string& path)
    {
        if (!path.empty() && last_ && last_->save(QString::fromStdString(path), "PNG"))
            log_.Line("saved %s", path.c_str());
    }

private:
    const session::SessionRecord& s_;
    EventLog& log_;
    std::int64_t stamp_ = -1;
    const QImage* last_ = nullptr;
};

// The levels the cliente was told to hold, as a technician's quality command sets them.
void HoldLevels(shell::frmMain& w, const SideOptions& o)
{
    if (o.nitidez > 0)
        w.quality.AplicarComandoQualidade(o.nitidez, o.atualizacao);
}

void UseRelay(const SideOptions& o)
{
    qputenv("MARQUELIN_RELAY", QByteArray::fromStdString(o.peer + ":" + std::to_string(o.port)));
}

char* g_argv[] = {const_cast<char*>("frame_link_bench"), nullptr};
int g_argc = 1;

}  // namespace

int RunCliente(const SideOptions& o)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(g_argc, g_argv);
    EventLog log(o.logPath);
    std::unique_ptr<ChangingDesktop> desktop;
    if (o.paint)
        desktop = std::make_unique<ChangingDesktop>();
    QString error;
    auto x11 = platform::ScreenSourceX11::Open(nullptr, &error);
    // As the program opens it: hints for change detection on links with updates.
    auto damage = x11 ? platform::DamageSourceX11::Open(nullptr, &error) : nullptr;
    if ((desktop && !desktop->Ready()) || !x11 || !damage) {
        std::fprintf(stderr, "cliente: no display: %s\n", qPrintable(error));
        return 2;
    }
    StampedSource source(*x11);
    Device device(&source, damage.get(), o.versao);
    shell::frmMain& w = device.window;
    w.s.papel = session::kCliente;
    w.quality.RestaurarQualidade();

    // After each tick: a frame that went out is logged with the stamp it showed.
    std::uint64_t grabs = 0;
    float handedOver = 0;
    QObject::connect(&w.tmrFrame, &QTimer::timeout, &w, [&] {
        if (source.Grabs() != grabs && w.s.FrameEnviadoEm != handedOver)
            log.Line("sent %lld %lld %lld %d", static_cast<long long>(source.LastStamp()),
                     static_cast<long long>(source.LastGrabNs()),
                     static_cast<long long>(w.frames.screen().LastJpeg().size()), w.quality.state().NivelNitidez());
        grabs = source.Grabs();
        handedOver = w.s.FrameEnviadoEm;
    });

    if (o.relay) {
        UseRelay(o);
        w.routes.IniciarRelayTcp(session::kCliente);
    } else {
        w.c.txtTelaPorta.setText(QString::number(o.port));
        const QString failure = w.link.IniciarEscuta();
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "cliente: %s\n", qPrintable(failure));
            return 2;
        }
        w.s.TransmissaoIniciada = true;
    }
    HoldLevels(w, o);
    log.Line("ready");
    if (!desktop)
        return app.exec();

    enum class Phase { Waiting, Change, Idle } phase = Phase::Waiting;
    std::int64_t phaseStart = MonotonicNs();
    QTimer painter;
    painter.setInterval(50);
    QObject::connect(&painter, &QTimer::timeout, &app, [&] {
        const std::int64_t now = MonotonicNs();
        const double elapsed = static_cast<double>(now - phaseStart) / 1e9;
        desktop->Clock();
        if (phase == Phase::Waiting) {
            if (w.s.TelaConectada) {
                phase = Phase::Change;
                phaseStart = now;
                log.Line("cpu %lld", CpuNs());
                log.Line("phase change %lld", static_cast<long long>(now));
            } else if (elapsed > 60) {
                std::fprintf(stderr, "cliente: no link within 60 s\n");
                app.exit(3);
            }
            return;
        }
        if (phase == Phase::Change) {
            desktop->Change();
            if (elapsed >= o.changeSeconds) {
                phase = Phase::Idle;
                phaseStart = now;
                // The idle screen at the default levels unless others are held.
                if (o.nitidez == 0)
                    w.quality.AplicarComandoQualidade(3, 3);
                log.Line("phase idle %lld", static_cast<long long>(now));
            }
            return;
        }
        if (elapsed >= o.idleSeconds) {
            log.Line("cpu %lld", CpuNs());
            log.Line("phase end %lld", static_cast<long long>(now));
            w.loss.PararTelaRemota(true);
            QTimer::singleShot(500, &app, [&app] { app.exit(0); });
            painter.stop();
        }
    });
    painter.start();
    return app.exec();
}

int RunTecnico(const SideOptions& o)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(g_argc, g_argv);
    EventLog log(o.logPath);
    Device device(nullptr, nullptr, o.versao);
    shell::frmMain& w = device.window;
    w.s.papel = session::kTecnico;
    StampReader preview(w.s, log);
    w.picRemote = &preview;
    if (o.relay) {
        UseRelay(o);
        w.routes.IniciarRelayTcp(session::kTecnico);
    } else {
        w.c.txtTelaIp.setText(QString::fromStdString(o.peer));
        w.c.txtTelaPorta.setText(QString::number(o.port));
        log.Line("connect %lld", static_cast<long long>(MonotonicNs()));
        w.link.Conectar();
    }
    bool linked = false;
    QTimer watch;
    watch.setInterval(200);
    const std::int64_t started = MonotonicNs();
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (!linked && w.s.TelaConectada)
            log.Line("cpu %lld", CpuNs());
        linked = linked || w.s.TelaConectada;
        const double elapsed = static_cast<double>(MonotonicNs() - started) / 1e9;
        if ((linked && !w.s.TelaConectada) || elapsed > o.changeSeconds + o.idleSeconds + 120) {
            log.Line("cpu %lld", CpuNs());
            preview.Save(o.picturePath);
            app.exit(0);
        }
    });
    watch.start();
    return app.exec();
}

namespace {

void SleepUntil(std::int64_t ns)
{
    const timespec until{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace

int RunDesktop(const SideOptions& o)
{
    sigset_t start;
    sigemptyset(&start);
    sigaddset(&start, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &start, nullptr);
    EventLog log(o.logPath);
    ChangingDesktop desktop(ChangingDesktop::Motion::Region);
    if (!desktop.Ready()) {
        std::fprintf(stderr, "desktop: no display\n");
        return 2;
    }
    log.Line("ready");
    int signal = 0;
    sigwait(&start, &signal);
    const std::int64_t period = 1000000000LL / std::max(1, o.changesPerSecond);
    const std::int64_t began = MonotonicNs();
    const std::int64_t idle = began + o.changeSeconds * 1000000000LL;
    log.Line("phase change %lld", static_cast<long long>(began));
    for (std::int64_t next = began; next < idle;) {
        const std::int64_t stamp = desktop.Change();
        const std::int64_t painted = MonotonicNs();
        log.Line("painted %lld %lld", static_cast<long long>(stamp), static_cast<long long>(painted));
        // A late change does not make the next ones come in a burst.
        next = std::max(next + period, painted - period);
        SleepUntil(next);
    }
    const std::int64_t idleBegan = MonotonicNs();
    const std::int64_t end = idleBegan + o.idleSeconds * 1000000000LL;
    log.Line("phase idle %lld", static_cast<long long>(idleBegan));
    for (std::int64_t now = idleBegan; now < end; now = MonotonicNs()) {
        desktop.Clock();
        SleepUntil(std::min<std::int64_t>(end, now + 1000000000LL));
    }
    log.Line("phase end %lld", static_cast<long long>(MonotonicNs()));
    log.Line("done");
    sigwait(&start, &signal);
    return 0;
}

namespace {

class AcceptEverySession final : public relay::SessionCheck {
public:
    bool IsAcceptedSession(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> ProvableSessionKey(const std::string&) override { return std::nullopt; }
};

}  // namespace

int RunRelay(const SideOptions& o)
{
    boost::asio::io_context io;
    AcceptEverySession sessions;
    relay::RelayServer server(io, {boost::asio::ip::address_v4::any(), static_cast<unsigned short>(o.port)},
                              sessions, {}, [](std::string_view) {});
    server.Start();
    boost::asio::signal_set ending(io, SIGTERM, SIGINT);
    ending.async_wait([&](const boost::system::error_code&, int) {
        server.Stop();
        io.stop();
    });
    EventLog log(o.logPath);
    log.Line("ready");
    io.run();
    return 0;
}

}  // namespace framelink
