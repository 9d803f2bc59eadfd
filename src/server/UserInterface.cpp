#include "UserInterface.h"

#include "conditions/PriceTracks.h"

#include <QTextStream>
#include <cstdlib>

namespace {

ConsoleUserInterface& fallback() {
    static ConsoleUserInterface ui;
    return ui;
}

UserInterface*& current() {
    static UserInterface* ui = &fallback();
    return ui;
}

ExitFunction& exitFunction() {
    static ExitFunction f;
    return f;
}

} // namespace

UserInterface& UI() {
    return *current();
}

UserInterface* SetUserInterface(UserInterface* ui) {
    UserInterface* previous = current();
    current() = ui ? ui : &fallback();
    return previous;
}

MessageAnswer ConsoleUserInterface::message(const QString& text, const QString& title, MessageIcon,
                                            MessageButtons buttons) {
    Q_UNUSED(title);
    QTextStream err(stderr);
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    err << t;
    if (!t.endsWith(u'\n'))
        err << '\n';
    err.flush();
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::OkCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::No;
    }
    return MessageAnswer::Ok;
}

bool ConsoleUserInterface::choosePriceTracks(PriceTrackList& list) {
    if (tracks == u"all") {
        list.markAll(true);
        return true;
    }
    if (tracks == u"none") {
        list.markAll(false);
        return true;
    }
    const QStringList unknown = list.markOnly(tracks.split(u',', Qt::SkipEmptyParts));
    if (!unknown.isEmpty()) {
        QStringList known;
        for (const PriceTrack& t : list.rows())
            known << t.date;
        QTextStream(stderr) << "Preisschiene nicht in der Datei: " << unknown.join(u',')
                            << " (vorhanden: " << known.join(u',') << ")\n";
        return false;
    }
    return true;
}

ExitFunction SetExitFunction(ExitFunction f) {
    ExitFunction previous = std::move(exitFunction());
    exitFunction() = std::move(f);
    return previous;
}

void ExitProgram(int code) {
    if (exitFunction())
        exitFunction()(code);
    else
        std::exit(code);
}
