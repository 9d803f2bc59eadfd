#pragma once

#include "Dispatcher.h"
#include "Job.h"
#include "common/WireProtocol.h"

#include <QTimer>
#include <optional>

// An error answer (id 0: not to any request).
QByteArray ErrorFrame(quint32 id, int number, const QString& text);
// A line "veltar-standin: what" on standard error.
void ServerReport(const QString& what);

// One connection of StandinServer: its job, the bytes of frames not yet
// served, and the timers that watch it.
struct StandinConnection {
    // What the deadline timer waits for: the TLS handshake and the first
    // HELLO, the end of a connection without a valid login, or the next
    // request of a logged-in one.
    enum class Phase { Hello, Guest, User };

    explicit StandinConnection(StandinEngine& engine) : job(engine, false) {
        watch->setSingleShot(true);
        hold->setSingleShot(true);
        deadline->setSingleShot(true);
    }
    // The timers may be what reports the end of the connection: they go
    // once their signal is done.
    ~StandinConnection() {
        for (QTimer* timer : {watch, hold, deadline}) {
            timer->stop();
            timer->deleteLater();
        }
    }
    StandinConnection(const StandinConnection&) = delete;
    StandinConnection& operator=(const StandinConnection&) = delete;

    Job job;
    // The order it came in (its address is the job's peer).
    quint64 serial = 0;
    Wire::FrameBuffer buffer;
    // Bytes in buffer that are not yet a complete frame.
    qint64 pending = 0;
    // Whether requests wait because the client does not read its answers.
    bool paused = false;
    // While serve() writes its answers: what writing reports waits for it.
    bool serving = false;
    // A read of what TLS decrypted is due in the next turn.
    bool readScheduled = false;
    // Runs while the connection waits for its client: for the rest of a
    // frame, or for the client to read its answers.
    QTimer* watch = new QTimer;
    // A HELLO that waits after failed logins, and the timer that ends the
    // wait; the connection reads nothing meanwhile.
    std::optional<Wire::Request> held;
    bool holding = false;
    QTimer* hold = new QTimer;
    Phase phase = Phase::Hello;
    QTimer* deadline = new QTimer;
    // An M command that used up its slice and goes on in a later turn,
    // before anything the client sent after it. Cancelled (unwound) when
    // the connection ends, while its job is still there.
    std::unique_ptr<SlicedRequest> command;
    // The connection used up its slice and waits for the others' turns: a
    // read meanwhile serves nothing.
    bool yielding = false;
};
