#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <stdexcept>

struct FiberState;

// Work that runs on a stack of its own, so that it can stop in the middle,
// give the thread back and go on later where it stopped. The server runs a
// long M command this way a slice at a time between the other connections'
// requests. Everything happens on the thread that calls run(): a fiber is
// never on two threads and never runs while another one does; a fiber does
// not run another one.
class Fiber {
public:
    // What pauseIfDue() throws in a work that was cancelled while it
    // paused: it unwinds the work to its end.
    class Cancelled : public std::runtime_error {
    public:
        Cancelled() : std::runtime_error("Befehl abgebrochen") {}
    };

    // mayPause, when given, is asked before each pause: the work goes on
    // through its slice while it answers false.
    explicit Fiber(std::function<void()> work, std::function<bool()> mayPause = {});
    // A work that paused and did not end is cancelled first.
    ~Fiber();
    Fiber(const Fiber&) = delete;
    Fiber& operator=(const Fiber&) = delete;

    // Runs the work from where it stopped until it ends (true) or pauses
    // after sliceMs milliseconds (false). What the work throws comes out
    // of the run in which it ends.
    bool run(int sliceMs);
    bool finished() const;
    // Ends a work that paused: it goes on once more, and its pause throws
    // Cancelled. A work that never ran does not run at all.
    void cancel() noexcept;

    // Called by the work: pauses it when its slice is over (and mayPause
    // agrees), until its next run. Returns the milliseconds it was paused
    // (0 outside a fiber). Throws Cancelled when the fiber is cancelled.
    static qint64 pauseIfDue();

private:
    static void entry();
    std::unique_ptr<FiberState> d;
};
