#include "base/SessionContext.h"
#include "server/Connection.h"
#include "server/TcpServerClient.h"
#include "session/Login.h"
#include "shell/gui/DesktopUserInterface.h"
#include "shell/gui/fmstart.h"
#include "widgets/WidgetHelpers.h"

#include <QApplication>
#include <QDir>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace {

// QUENDRA_SCREENSHOT=<folder>: a developer aid for the user guide. Each of
// the windows fmstart, FMPass, FMServer and FMPos is saved as <folder>/<name>.png
// two seconds after it first appears. Without the variable nothing happens.
void startScreenshots(QApplication& app) {
    const QString folder = qEnvironmentVariable("QUENDRA_SCREENSHOT");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    auto* poll = new QTimer(&app);
    auto taken = std::make_shared<QSet<QString>>();
    QObject::connect(poll, &QTimer::timeout, [folder, taken] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            const QString name = w->objectName();
            if (!w->isVisible() || taken->contains(name) ||
                !QSet<QString>{QStringLiteral("fmstart"), QStringLiteral("FMPass"),
                               QStringLiteral("FMServer"), QStringLiteral("FMPos")}
                     .contains(name))
                continue;
            taken->insert(name);
            QTimer::singleShot(2000, w, [w, folder, name] {
                w->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
            });
        }
    });
    poll->start(200);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quendrapr"));
    // Qt's own dialogs and buttons speak German like the rest.
    InstallGermanTranslations(app);
    // The program's one connection: it ends before the application object
    // does. The dialogs, the login and the main window work on it.
    Connection connection;
    DesktopUserInterface ui(connection);
    // A server met for the first time shows its fingerprint and is trusted
    // only when the user says so.
    SetFirstContactFunction([&ui](const QString& text) {
        return ui.message(text + QStringLiteral("\n\nDiesem Server vertrauen?"),
                          QStringLiteral("Unbekannter Server"), MessageIcon::Question,
                          MessageButtons::YesNo) == MessageAnswer::Yes;
    });
    startScreenshots(app);

    // The command line is kept for the login (company, branch, user code,
    // password, server, port, namespace, fiscal year).
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    Session().commandLine = arguments.join(u' ');
    Session().noAutoPassword = true;
    // "Abbruch" in the login window ends the program through Ende.
    while (!user_anmeld(connection, &ui)) {
    }

    fmstart w(connection);
    w.show();
    return app.exec();
}
