#pragma once

#include "base/UserInterface.h"
#include "import/FileImport.h"
#include "import/PriceTracks.h"
#include "server/ConnectionWindows.h"
#include "session/Login.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <functional>

// Records every message and answers from a queue, so tests assert the exact
// texts. An empty queue answers Ok / No.
struct RecordedMessages {
    struct Message {
        QString text;
        QString title;
        MessageIcon icon;
        MessageButtons buttons;
    };
    MessageAnswer record(const QString& text, const QString& title, MessageIcon icon,
                         MessageButtons buttons) {
        messages.append({text, title, icon, buttons});
        if (!answers.isEmpty())
            return answers.dequeue();
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
    // The texts of the messages, in order.
    QStringList texts() const {
        QStringList result;
        for (const Message& m : messages)
            result << m.text;
        return result;
    }
    QList<Message> messages;
    QQueue<MessageAnswer> answers;
};

// Plays the person: answers the program's questions from a queue and records
// every message; counts the windows it was asked to show. It is the program's
// user interface and the connection's windows while it lives, and the login
// windows or import choices of a test that passes it.
class ScriptedUserInterface : public UserInterface,
                              public ConnectionWindows,
                              public LoginWindows,
                              public ImportChoices,
                              public RecordedMessages {
public:
    ScriptedUserInterface() {
        m_previous = SetUserInterface(this);
        m_previousWindows = SetConnectionWindows(this);
    }
    ~ScriptedUserInterface() override {
        SetConnectionWindows(m_previousWindows);
        SetUserInterface(m_previous);
    }

    MessageAnswer message(const QString& text, const QString& title, MessageIcon icon,
                          MessageButtons buttons) override {
        return record(text, title, icon, buttons);
    }
    void showActivity(const QString& text) override { activities << text; }
    void showServerList() override {
        ++serverListShown;
        if (onServerList)
            onServerList();
    }
    void hideServerList() override { ++serverListHidden; }
    void unloadAllWindows() override { ++windowsUnloaded; }
    bool showLoginWindow() override {
        ++loginWindowShown;
        return onLoginWindow ? onLoginWindow() : false;
    }
    void selectLoginPassword() override { ++passwordSelected; }
    void hideLoginWindow() override { ++loginWindowHidden; }
    void setProgress(qint64 value, qint64 maximum) override {
        Q_UNUSED(value);
        if (maximum > 0)
            progressMaximum = maximum;
    }
    QString chooseFile(const QString& title, const QString& folder,
                       const QString& filter) override {
        fileChoices << QStringList{title, folder, filter};
        return files.isEmpty() ? QString() : files.dequeue();
    }
    // Several files at once: the next list of fileLists, else one of files.
    QStringList chooseFiles(const QString& title, const QString& folder,
                            const QString& filter) override {
        if (fileLists.isEmpty())
            return UserInterface::chooseFiles(title, folder, filter);
        fileChoices << QStringList{title, folder, filter};
        return fileLists.dequeue();
    }
    bool choosePriceTracks(PriceTrackList& tracks) override {
        shownTracks = tracks.rows();
        busyWhileChoosing = busyDepth() > 0;
        return onPriceTracks ? onPriceTracks(tracks) : false;
    }

    // Every change of the busy pointer: true shown, false taken away.
    QList<bool> busyCalls;
    int serverListShown = 0;
    int serverListHidden = 0;
    int windowsUnloaded = 0;
    std::function<void()> onServerList;
    int loginWindowShown = 0;
    int loginWindowHidden = 0;
    int passwordSelected = 0;
    // Plays the user at the login window: fills LoginFormData(), returns
    // whether "Anmelden" was pressed.
    std::function<bool()> onLoginWindow;
    // Plays the buyer at the price track choice: marks rows, returns
    // whether "OK" was pressed. Unset: the window is closed without OK.
    std::function<bool(PriceTrackList&)> onPriceTracks;
    QList<PriceTrack> shownTracks;
    bool busyWhileChoosing = false;
    qint64 progressMaximum = 0;
    // The texts of showActivity, in order ("" when it was taken away).
    QStringList activities;
    // The files the person chooses, in order ("" cancels; none left: cancel),
    // and what each file dialog offered: title, folder, filter.
    QQueue<QString> files;
    QQueue<QStringList> fileLists;
    QList<QStringList> fileChoices;

protected:
    void showBusy(bool busy) override { busyCalls.append(busy); }

private:
    UserInterface* m_previous = nullptr;
    ConnectionWindows* m_previousWindows = nullptr;
};
