#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// How logic talks to the person in front of the program: messages, the busy
// pointer, progress of long work and the choice of a file. The desktop
// program answers with real dialogs, the command-line tool with standard
// error, tests with a scripted queue. Logic never opens a window itself.
//
// Questions that belong to one piece of work (the import's price tracks, the
// login window) are not asked here: each engine takes its own small
// interface as a parameter, so a window that runs an engine answers that
// engine's questions, however deeply windows are nested.
enum class MessageIcon { None, Information, Warning, Critical, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class UserInterface {
public:
    virtual ~UserInterface() = default;

    virtual MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    virtual void processEvents() {}
    // Progress of long work; maximum 0 hides it.
    virtual void setProgress(qint64 value, qint64 maximum) {
        Q_UNUSED(value);
        Q_UNUSED(maximum);
    }
    // What long work the person waits for is doing right now (a connection
    // being made), shown until the next text; "" takes it away.
    virtual void showActivity(const QString& text) { Q_UNUSED(text); }
    // A file to open; "" when the person cancels or no file can be chosen.
    virtual QString chooseFile(const QString& title, const QString& folder, const QString& filter) {
        Q_UNUSED(title);
        Q_UNUSED(folder);
        Q_UNUSED(filter);
        return QString();
    }
    // Files to open together (filters separated by ";;"); empty when the
    // person cancels. By default the one file of chooseFile().
    virtual QStringList chooseFiles(const QString& title, const QString& folder,
                                    const QString& filter) {
        const QString file = chooseFile(title, folder, filter);
        return file.isEmpty() ? QStringList() : QStringList{file};
    }

    // The busy pointer (hourglass) is counted: it shows while anybody holds
    // it and goes when the last holder lets go, so an inner piece of work
    // never takes it away from an outer one. Use BusyPointer.
    void acquireBusy();
    void releaseBusy();
    int busyDepth() const { return m_busyDepth; }

protected:
    // Shows or hides the hourglass; called when the count leaves or reaches 0.
    virtual void showBusy(bool busy) = 0;

private:
    int m_busyDepth = 0;
};

// Holds the busy pointer of a user interface for its lifetime.
class BusyPointer {
public:
    explicit BusyPointer(UserInterface& ui);
    BusyPointer();
    ~BusyPointer();
    // Lets go before the end of the scope (at most once).
    void release();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    UserInterface* m_ui;
};

// Lets go of a held busy pointer for its lifetime, for a question in the
// middle of busy work; the pointer comes back when it ends.
class NotBusy {
public:
    explicit NotBusy(UserInterface& ui);
    ~NotBusy();
    NotBusy(const NotBusy&) = delete;
    NotBusy& operator=(const NotBusy&) = delete;

private:
    UserInterface* m_ui;
    int m_released = 0;
};

// The program's user interface; a plain one that writes to standard error
// and answers every question with its default until the program sets its
// own.
UserInterface& UI();
UserInterface* SetUserInterface(UserInterface* ui);

// Writes messages to standard error and answers Ok, No or Cancel; used by
// the command-line tool.
class ConsoleUserInterface : public UserInterface {
public:
    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override;

protected:
    void showBusy(bool) override {}
};

// Ending the program goes through a replaceable hook, so tests never end the
// test process. Without a hook: inside a running event loop the program's
// event loops are told to end (every open loop returns, the stack unwinds and
// main() returns the code); without one the process ends at once.
using ExitFunction = std::function<void(int code)>;
ExitFunction SetExitFunction(ExitFunction f);
void ExitProgram(int code);
