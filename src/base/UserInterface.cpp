#include "UserInterface.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QThread>
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

void UserInterface::acquireBusy() {
    if (m_busyDepth++ == 0)
        showBusy(true);
}

void UserInterface::releaseBusy() {
    if (m_busyDepth == 0)
        return;
    if (--m_busyDepth == 0)
        showBusy(false);
}

BusyPointer::BusyPointer(UserInterface& ui) : m_ui(&ui) {
    m_ui->acquireBusy();
}

BusyPointer::BusyPointer() : BusyPointer(UI()) {}

BusyPointer::~BusyPointer() {
    release();
}

void BusyPointer::release() {
    if (m_ui)
        m_ui->releaseBusy();
    m_ui = nullptr;
}

NotBusy::NotBusy(UserInterface& ui) : m_ui(&ui) {
    while (m_ui->busyDepth() > 0) {
        m_ui->releaseBusy();
        ++m_released;
    }
}

NotBusy::~NotBusy() {
    for (int i = 0; i < m_released; ++i)
        m_ui->acquireBusy();
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

ExitFunction SetExitFunction(ExitFunction f) {
    ExitFunction previous = std::move(exitFunction());
    exitFunction() = std::move(f);
    return previous;
}

void ExitProgram(int code) {
    if (exitFunction()) {
        exitFunction()(code);
        return;
    }
    // Inside an event loop (a window's handler, a modal dialog several levels
    // deep) the process must not end under the caller's feet: every loop is
    // told to return, windows get their close handling, and main() returns.
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(code);
        return;
    }
    std::exit(code);
}
