#pragma once

#include "core/link/HelloCheck.h"
#include "core/link/LinkTls.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <memory>
#include <vector>

namespace screenlink {

// The path of a connection's bytes between the socket and the link's
// parsers. Version 1 passes them through untouched; a layer that transforms
// them takes this place, so a newcomer is judged on what its bytes carry.
class BytePipe {
public:
    virtual ~BytePipe() = default;
    // Appends to `plain` what `wire` carries; false, with `error` set, when
    // the bytes cannot belong to a link.
    virtual bool FromWire(QByteArrayView wire, QByteArray& plain, QString& error) = 0;
    // Bytes the pipe itself must send (a handshake's), taken once.
    virtual QByteArray TakeOutgoing() { return {}; }
    // The TLS session the pipe ran, if any, for the link to carry on.
    virtual std::unique_ptr<LinkTls> ReleaseTls() { return nullptr; }
};

class PassThroughPipe final : public BytePipe {
public:
    bool FromWire(QByteArrayView wire, QByteArray& plain, QString&) override
    {
        plain.append(wire);
        return true;
    }
};

// A newcomer that sent a valid Hello, handed over whole: its socket, its
// pipe with whatever state it holds, and what followed the Hello line.
struct ProvenLink {
    std::unique_ptr<QTcpSocket> socket;
    std::unique_ptr<BytePipe> pipe;
    QByteArray rest;
};

// What the pending connections need from the link that owns them.
class NewcomerJudge {
public:
    virtual ~NewcomerJudge() = default;
    virtual HelloVerdict JudgeHello(const QByteArray& line) = 0;
    virtual std::unique_ptr<BytePipe> MakePipe() = 0;
    virtual void Promote(ProvenLink link) = 0;
    virtual void Log(const QString& text) = 0;
};

// Accepted connections that have not yet proved themselves. Each is held
// apart from the link in hand until its Hello is valid, and then handed to
// the judge; one that stays silent, sends anything but commands before its
// Hello, too much, or a wrong Hello is closed alone with one log line, so a
// stranger costs the validated link nothing. User-interface thread only.
class PendingLinks : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxPending = 8;
    // Far more than a Hello and the few commands a technician may send first.
    static constexpr qsizetype kMaxBytesBeforeHello = 4096;
    static constexpr int kHelloWaitMs = 5000;

    explicit PendingLinks(NewcomerJudge& judge) : judge_(judge) {}
    ~PendingLinks() override;

    // Takes ownership of a just-accepted socket; over the limit the oldest
    // pending one makes room.
    void Take(QTcpSocket* socket);
    void DropAll();
    int Count() const { return static_cast<int>(pending_.size()); }

private:
    class Candidate;

    enum class Next { Line, Wait, Gone };

    void OnData(Candidate& c);
    Next HandleLine(Candidate& c);
    void Drop(Candidate& c, const QString& logLine);
    void Release(Candidate& c);

    NewcomerJudge& judge_;
    std::vector<Candidate*> pending_;  // oldest first; each deleted once released
};

}  // namespace screenlink
