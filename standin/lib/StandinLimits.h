#pragma once

#include <QtGlobal>

// What one M command may cost. Exceeding a limit ends that command with an
// M error; the job and every other connection go on.
struct MLimits {
    // Nesting of parentheses, unary operators, function calls, subscripts
    // and FOR loops within one line ("<STACK>").
    int maxNesting = 1000;
    // Work units per command: one per command and operand, one more per 16
    // characters a function or operator reads or builds ("<INTERRUPT>").
    qint64 maxSteps = 50'000'000;
    // Wall-clock time per command, checked as the steps go by
    // ("<INTERRUPT>"); 0 switches the check off.
    int timeLimitMs = 2000;
    // Characters a command may WRITE ("<STORE>"); at three UTF-8 bytes per
    // character the answer stays below the largest frame.
    qint64 maxOutput = 4 * 1024 * 1024;
    // Characters a job's locals may hold, names and subscripts counted
    // ("<STORE>" for the command that would exceed them).
    qint64 maxLocals = 16 * 1024 * 1024;
    // Milliseconds a command of the server's runs before the others are
    // served; it goes on where it paused after them. Short, so that a
    // client calling one request after another is held up little.
    int sliceMs = 5;
};

// What one client may hold on the server. veltar-standin takes each of them
// as a command-line option.
struct StandinLimits {
    MLimits m;
    // Connections served at once; the next one gets an error and is closed.
    int maxConnections = 200;
    // Connections one address (an IPv6 address by its /64 network) may hold
    // at once; a terminal server's users share one.
    int maxPerAddress = 50;
    // A new connection must finish its TLS handshake and send its first
    // HELLO within this time (milliseconds).
    int helloTimeoutMs = 10000;
    // How long a connection without a valid login (a guest, an inactive
    // user) stays after its first HELLO (milliseconds).
    int guestTimeoutMs = 300000;
    // How long a logged-in connection may stay without a request
    // (milliseconds).
    int idleTimeoutMs = 4 * 60 * 60 * 1000;
    // Milliseconds of work after which the server turns from a connection
    // to the others, whatever that connection has sent besides.
    int serveSliceMs = 50;
    // Bytes of incomplete frames all connections may hold together.
    qint64 maxFramesInFlight = 256 * 1024 * 1024;
    // Bytes of answers waiting to be sent to a connection: beyond them the
    // server reads no further requests from it until the client has read.
    qint64 maxPendingOutput = 32 * 1024 * 1024;
    // How long a connection may hold an incomplete frame before it is
    // closed (milliseconds).
    int frameTimeoutMs = 30000;
    // Open result sets per job; QUERY answers an error beyond them.
    int maxResultSets = 100;
    // Once the WAL holds this many pages it is checkpointed in the
    // background; at twice as many the server checkpoints and truncates it
    // before it goes on.
    int walCheckpointPages = 4000;
    // After a failed login with a password, the connection and the user
    // code wait this long before their next one is checked, twice as long
    // after each further failure (LoginThrottle); 0: no wait.
    qint64 loginDelayMs = 500;
    // How long a user code stays locked after ten failed logins in a row;
    // 0: never locked.
    qint64 loginLockMs = 15 * 60 * 1000;
};
