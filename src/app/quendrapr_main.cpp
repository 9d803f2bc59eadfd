#include "shell/TraceLog.h"
#include "shell/frmProgrammverlauf.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quendrapr"));
    TraceLog(QStringLiteral("quendrapr.main"), QStringLiteral("Start"), QString(), 40);
    frmProgrammverlauf::instance()->show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}
