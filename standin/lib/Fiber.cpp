#include "Fiber.h"

#include <QElapsedTimer>
#include <cstdlib>
#include <exception>
#include <new>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FIBER_ASAN 1
#endif
#endif
#ifdef FIBER_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

// As much as the main thread has: the interpreter's nesting limit is made
// for it. Only the pages a work touches take memory.
constexpr std::size_t kStackSize = 8 * 1024 * 1024;

// A stack and, below it, a page that stops an overflow.
struct Stack {
    char* mapping = nullptr;
    std::size_t mapped = 0;
    void* bottom() const { return mapping + guard(); }
    std::size_t size() const { return mapped - guard(); }
    static std::size_t guard() { return std::size_t(sysconf(_SC_PAGESIZE)); }
};

// One stack is kept for the next fiber: most M commands end within their
// slice, and a server runs one at a time.
thread_local Stack t_spare;

Stack takeStack() {
    if (t_spare.mapping)
        return std::exchange(t_spare, Stack{});
    Stack s;
    s.mapped = kStackSize + Stack::guard();
    void* m = mmap(nullptr, s.mapped, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (m == MAP_FAILED)
        throw std::bad_alloc();
    s.mapping = static_cast<char*>(m);
    if (mprotect(s.mapping, Stack::guard(), PROT_NONE) != 0) {
        munmap(s.mapping, s.mapped);
        throw std::bad_alloc();
    }
    return s;
}

void giveBack(Stack s) {
    if (!s.mapping)
        return;
#ifndef FIBER_ASAN
    // Under the address sanitizer each fiber gets a stack of its own, so
    // that nothing of an earlier work's frames is carried over.
    if (!t_spare.mapping) {
        t_spare = s;
        return;
    }
#endif
    munmap(s.mapping, s.mapped);
}

// The sanitizer follows the switches between stacks.
void startSwitch([[maybe_unused]] void** fake, [[maybe_unused]] const void* bottom,
                 [[maybe_unused]] std::size_t size) {
#ifdef FIBER_ASAN
    __sanitizer_start_switch_fiber(fake, bottom, size);
#endif
}

void finishSwitch([[maybe_unused]] void* fake, [[maybe_unused]] const void** bottom,
                  [[maybe_unused]] std::size_t* size) {
#ifdef FIBER_ASAN
    __sanitizer_finish_switch_fiber(fake, bottom, size);
#endif
}

} // namespace

struct FiberState {
    std::function<void()> work;
    std::function<bool()> mayPause;
    ucontext_t caller{};
    ucontext_t own{};
    Stack stack;
    bool started = false;
    bool ended = false;
    bool cancelled = false;
    std::exception_ptr error;
    QElapsedTimer slice;
    int sliceMs = 0;
    // The stack of whoever runs the fiber, for the sanitizer.
    const void* callerBottom = nullptr;
    std::size_t callerSize = 0;
};

namespace {
thread_local FiberState* t_running = nullptr;
} // namespace

Fiber::Fiber(std::function<void()> work, std::function<bool()> mayPause)
    : d(std::make_unique<FiberState>()) {
    d->work = std::move(work);
    d->mayPause = std::move(mayPause);
}

Fiber::~Fiber() {
    cancel();
    giveBack(std::exchange(d->stack, Stack{}));
}

bool Fiber::finished() const {
    return d->ended;
}

void Fiber::entry() {
    FiberState* f = t_running;
    finishSwitch(nullptr, &f->callerBottom, &f->callerSize);
    try {
        f->work();
    } catch (...) {
        f->error = std::current_exception();
    }
    f->ended = true;
    // Back for good: this stack is not entered again.
    startSwitch(nullptr, f->callerBottom, f->callerSize);
    swapcontext(&f->own, &f->caller);
    std::abort();
}

bool Fiber::run(int sliceMs) {
    if (d->ended)
        return true;
    if (t_running)
        throw std::logic_error("a fiber runs inside another one");
    if (!d->started) {
        try {
            d->stack = takeStack();
        } catch (const std::bad_alloc&) {
            // Without a stack of its own the work runs to its end here.
            d->started = true;
            d->ended = true;
            d->work();
            return true;
        }
        if (getcontext(&d->own) != 0)
            throw std::runtime_error("getcontext failed");
        d->own.uc_stack.ss_sp = d->stack.bottom();
        d->own.uc_stack.ss_size = d->stack.size();
        d->own.uc_link = nullptr;
        makecontext(&d->own, &Fiber::entry, 0);
        d->started = true;
    }
    d->sliceMs = sliceMs;
    d->slice.start();
    t_running = d.get();
    void* fake = nullptr;
    startSwitch(&fake, d->stack.bottom(), d->stack.size());
    swapcontext(&d->caller, &d->own);
    finishSwitch(fake, nullptr, nullptr);
    t_running = nullptr;
    if (!d->ended)
        return false;
    giveBack(std::exchange(d->stack, Stack{}));
    if (d->error)
        std::rethrow_exception(std::exchange(d->error, nullptr));
    return true;
}

void Fiber::cancel() noexcept {
    if (d->ended)
        return;
    if (!d->started) {
        d->ended = true;
        return;
    }
    // A paused fiber cannot be unwound from inside another one (nor from
    // its own work): its frames would be left behind.
    if (t_running)
        std::abort();
    d->cancelled = true;
    // Its pause throws at once and never pauses again: one run ends it.
    try {
        run(0);
    } catch (...) {
    }
}

qint64 Fiber::pauseIfDue() {
    FiberState* f = t_running;
    if (!f)
        return 0;
    if (f->cancelled)
        throw Cancelled();
    if (f->slice.elapsed() < f->sliceMs || (f->mayPause && !f->mayPause()))
        return 0;
    QElapsedTimer paused;
    paused.start();
    void* fake = nullptr;
    startSwitch(&fake, f->callerBottom, f->callerSize);
    swapcontext(&f->own, &f->caller);
    finishSwitch(fake, &f->callerBottom, &f->callerSize);
    if (f->cancelled)
        throw Cancelled();
    return paused.elapsed();
}
