#include "ConnectionWindows.h"

#include "base/TraceLog.h"
#include "base/UserInterface.h"

#include <QString>
#include <utility>

namespace {
ConnectionWindows* g_windows = nullptr;
} // namespace

ConnectionWindows* SetConnectionWindows(ConnectionWindows* windows) {
    return std::exchange(g_windows, windows);
}

void ShowServerList() {
    if (g_windows)
        g_windows->showServerList();
}

void HideServerList() {
    if (g_windows)
        g_windows->hideServerList();
}

void Ende(int exitCode) {
    TraceLog(QStringLiteral("cacheapi.Ende"), QStringLiteral("Start ENDE"), QString(), 0);
    try {
        if (g_windows)
            g_windows->unloadAllWindows();
    } catch (...) {
    }
    TraceLog(QStringLiteral("cacheapi.Ende"), QStringLiteral("Ende ENDE"),
             QStringLiteral("es folgt end"), 0);
    ExitProgram(exitCode);
}
