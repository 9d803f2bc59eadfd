#include "DialogUserInterface.h"

#include "session/gui/FMPass.h"
#include "session/gui/FMServer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

bool g_unloading = false;

// The window a dialog is shown over: the modal one in front, else the active.
QWidget* ownerWindow() {
    if (QWidget* w = QApplication::activeModalWidget())
        return w;
    return QApplication::activeWindow();
}

// While a question is open the user sees the normal pointer, even when the
// program shows the hourglass behind it.
class NormalPointer {
public:
    NormalPointer() : m_active(QApplication::overrideCursor() != nullptr) {
        if (m_active)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalPointer() {
        if (m_active)
            QApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool m_active;
};

} // namespace

DialogUserInterface::DialogUserInterface(Connection& connection) : m_connection(connection) {
    m_previous = SetUserInterface(this);
    m_previousWindows = SetConnectionWindows(this);
    if (qApp)
        qApp->installEventFilter(this);
}

DialogUserInterface::~DialogUserInterface() {
    delete m_activity;
    if (qApp)
        qApp->removeEventFilter(this);
    if (busyDepth() > 0)
        showBusy(false);
    SetConnectionWindows(m_previousWindows);
    SetUserInterface(m_previous);
}

MessageAnswer DialogUserInterface::message(const QString& text, const QString& title,
                                           MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(ownerWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(shown);
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }

    QList<QPair<QAbstractButton*, MessageAnswer>> answers;
    auto add = [&](const QString& caption, QMessageBox::ButtonRole role, MessageAnswer answer) {
        QPushButton* b = box.addButton(caption, role);
        answers.append({b, answer});
        return b;
    };
    // The first button is the default one; Escape answers like the last
    // "Nein"/"Abbrechen".
    MessageAnswer escapeAnswer = MessageAnswer::Ok;
    switch (buttons) {
    case MessageButtons::Ok:
        box.setDefaultButton(add(QStringLiteral("OK"), QMessageBox::AcceptRole, MessageAnswer::Ok));
        box.setEscapeButton(answers.last().first);
        break;
    case MessageButtons::OkCancel:
        box.setDefaultButton(add(QStringLiteral("OK"), QMessageBox::AcceptRole, MessageAnswer::Ok));
        box.setEscapeButton(
            add(QStringLiteral("Abbrechen"), QMessageBox::RejectRole, MessageAnswer::Cancel));
        escapeAnswer = MessageAnswer::Cancel;
        break;
    case MessageButtons::YesNo:
        box.setDefaultButton(add(QStringLiteral("Ja"), QMessageBox::YesRole, MessageAnswer::Yes));
        box.setEscapeButton(add(QStringLiteral("Nein"), QMessageBox::NoRole, MessageAnswer::No));
        escapeAnswer = MessageAnswer::No;
        break;
    case MessageButtons::YesNoCancel:
        box.setDefaultButton(add(QStringLiteral("Ja"), QMessageBox::YesRole, MessageAnswer::Yes));
        add(QStringLiteral("Nein"), QMessageBox::NoRole, MessageAnswer::No);
        box.setEscapeButton(
            add(QStringLiteral("Abbrechen"), QMessageBox::RejectRole, MessageAnswer::Cancel));
        escapeAnswer = MessageAnswer::Cancel;
        break;
    }

    NormalPointer pointer;
    box.exec();
    for (const auto& [button, answer] : answers)
        if (box.clickedButton() == button)
            return answer;
    return escapeAnswer;
}

void DialogUserInterface::showBusy(bool busy) {
    // One hourglass however deep the holders are nested; taking it away
    // twice does not disturb a pointer set by others.
    if (busy == m_busy || !qApp)
        return;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    m_busy = busy;
}

void DialogUserInterface::showActivity(const QString& text) {
    if (text.isEmpty()) {
        if (m_activity) {
            m_activity->findChild<QLabel*>(QStringLiteral("lbVerbindung"))->clear();
            m_activity->hide();
        }
        return;
    }
    if (!m_activity) {
        auto* window = new QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint |
                                                Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
        window->setObjectName(QStringLiteral("FMVerbindung"));
        window->setWindowTitle(QStringLiteral("Anmeldung an Caché"));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        auto* label = new QLabel(window);
        label->setObjectName(QStringLiteral("lbVerbindung"));
        label->setMinimumWidth(360);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(18, 14, 18, 14);
        layout->addWidget(label);
        m_activity = window;
    }
    m_activity->findChild<QLabel*>(QStringLiteral("lbVerbindung"))->setText(text);
    m_activity->adjustSize();
    // Shown once events are processed again (the pause between attempts):
    // a connection made at once shows nothing, and no other work runs in
    // the middle of an attempt.
    if (!m_activity->isVisible())
        QTimer::singleShot(0, m_activity, [window = m_activity.data()] {
            if (!window->findChild<QLabel*>(QStringLiteral("lbVerbindung"))->text().isEmpty()) {
                window->show();
                window->raise();
            }
        });
}

void DialogUserInterface::processEvents() {
    QApplication::processEvents();
}

QString DialogUserInterface::chooseFile(const QString& title, const QString& folder,
                                        const QString& filter) {
    NormalPointer pointer;
    return QFileDialog::getOpenFileName(ownerWindow(), title, folder, filter);
}

QStringList DialogUserInterface::chooseFiles(const QString& title, const QString& folder,
                                             const QString& filter) {
    NormalPointer pointer;
    return QFileDialog::getOpenFileNames(ownerWindow(), title, folder, filter);
}

void DialogUserInterface::showServerList() {
    NormalPointer pointer;
    FMServer list(m_connection, ownerWindow());
    list.exec();
}

void DialogUserInterface::hideServerList() {
    if (FMServer* list = FMServer::current())
        list->hide();
}

void DialogUserInterface::unloadAllWindows() {
    if (g_unloading)
        return;
    g_unloading = true;
    QList<QPointer<QWidget>> windows = m_opened;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!windows.contains(w) && w->isVisible() &&
            (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog))
            windows.append(w);
    for (qsizetype i = windows.size() - 1; i >= 0; --i) {
        QWidget* w = windows[i];
        if (!w)
            continue;
        try {
            if (w->isVisible()) {
                w->close();
            } else {
                // A hidden window is still loaded: it is told that it closes.
                QCloseEvent close;
                QApplication::sendEvent(w, &close);
            }
        } catch (...) {
        }
    }
    g_unloading = false;
}

bool DialogUserInterface::unloading() {
    return g_unloading;
}

bool DialogUserInterface::showLoginWindow() {
    NormalPointer pointer;
    return FMPass::instance(m_connection)->showLoginWindow();
}

void DialogUserInterface::selectLoginPassword() {
    if (FMPass* pass = FMPass::existing())
        pass->SelectPassword();
}

void DialogUserInterface::hideLoginWindow() {
    if (FMPass* pass = FMPass::existing())
        pass->hide();
}

bool DialogUserInterface::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if ((w->windowType() == Qt::Window || w->windowType() == Qt::Dialog) &&
            !m_opened.contains(w)) {
            m_opened.removeAll(QPointer<QWidget>());
            m_opened.append(w);
        }
    }
    return QObject::eventFilter(watched, event);
}
