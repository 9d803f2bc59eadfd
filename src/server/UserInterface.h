#pragma once

#include <QString>
#include <functional>

class PriceTrackList;

// How logic talks to the person in front of the program. The desktop
// program answers with real dialogs, the command-line tool with standard
// error and its options, tests with a scripted queue. Logic never opens a
// window itself.
enum class MessageIcon { None, Information, Warning, Critical, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class UserInterface {
public:
    virtual ~UserInterface() = default;

    virtual MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // The busy pointer (hourglass).
    virtual void setBusy(bool busy) = 0;
    virtual void processEvents() {}
    // The server connection list, shown modally; its saving rebuilds the
    // connect string.
    virtual void showServerList() = 0;
    virtual void hideServerList() {}
    // Closes every open window, the last opened first.
    virtual void unloadAllWindows() {}

    // The login window, shown modally over the login data (LoginFormData()).
    // Returns true when the user pressed "Anmelden" with the form filled in;
    // false when no login window can be shown (the command-line tool).
    virtual bool showLoginWindow() { return false; }
    // After a refused login: the whole password text selected, with focus.
    virtual void selectLoginPassword() {}
    virtual void hideLoginWindow() {}

    // Progress of long work (the import's meter); maximum 0 hides it.
    virtual void setProgress(qint64 value, qint64 maximum) {
        Q_UNUSED(value);
        Q_UNUSED(maximum);
    }
    // The price track choice, shown modally over the list; true when the
    // buyer confirmed with "OK" (the marks are then in the list).
    virtual bool choosePriceTracks(PriceTrackList& tracks) {
        Q_UNUSED(tracks);
        return false;
    }
};

// The current user interface; a plain one that writes to standard error and
// answers every question with its default until the program sets its own.
UserInterface& UI();
UserInterface* SetUserInterface(UserInterface* ui);

// Writes messages to standard error and answers Ok, No or Cancel; used by
// the command-line tool.
class ConsoleUserInterface : public UserInterface {
public:
    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override;
    void setBusy(bool) override {}
    void showServerList() override {}
    bool choosePriceTracks(PriceTrackList& tracks) override;
    // The price tracks to take: "all", "none" or dates separated by commas.
    QString tracks = QStringLiteral("all");
};

// Ending the program goes through a replaceable hook, so tests never end the
// test process. The default ends the process with the code.
using ExitFunction = std::function<void(int code)>;
ExitFunction SetExitFunction(ExitFunction f);
void ExitProgram(int code);
