#pragma once

#include "base/SessionContext.h"

#include <QList>
#include <QString>

class Connection;

// The login data that the login window and the server list edit: what the
// command line and the stored settings did not supply is taken from here.
struct LoginForm {
    QString serverObjectId = kNoServerEntry; // chosen server list entry
    QString firma;
    QString fil;
    QString server;
    QString port;
    QString nameSpace;
    QString wj;
    QString user;     // BUSER
    QString password; // BPASSWORT
    QString standort; // chosen location code
};
LoginForm& LoginFormData();

// The default server address when neither command line nor settings name one.
inline const QString kDefaultServer = QStringLiteral("127.0.0.1");

// Fields 1 and 2 numeric, field 3 not numeric and shorter than 4 characters.
bool CommandLineQualifies(const QString& commandLine);

// The login window, as the login needs it. The desktop program's FMPass; a
// program without windows passes none.
class LoginWindows {
public:
    virtual ~LoginWindows() = default;
    // Shown modally over the login data (LoginFormData()). True when the
    // user pressed "Anmelden" with the form filled in.
    virtual bool showLoginWindow() = 0;
    // After a refused login: the whole password text selected, with focus.
    virtual void selectLoginPassword() = 0;
    virtual void hideLoginWindow() = 0;
};

// Logs the user in; true when logged in. The main window calls it until it
// succeeds; the command-line tool once. Without login windows a login that
// needs the window fails.
bool user_anmeld(Connection& connection, LoginWindows* windows = nullptr);

// The user code for a password ("" when none), converted for the screen.
QString UserFromPassword(Connection& connection, const QString& password);

// The workstation name: CLIENTNAME, else COMPUTERNAME, else the host name;
// lower-cased.
QString WorkstationName();

struct LocationEntry {
    QString code;
    QString text; // the whole entry: code, blank, description
};
// Reads the company's locations and the workstation's location from the
// server; the workstation's location becomes the chosen one and the
// workstation's own in the session.
QList<LocationEntry> LoadLocations(Connection& connection);

// Keeps user code and password (scrambled) in the login settings.
void StoreLoginSettings(const QString& user, const QString& password);

// Entries of the server connection list, kept on the server.
struct ServerEntry {
    QString id;
    QString bezeichnung;
    QString nameSpace;
    QString firma;
    QString fil;
    QString server;
    QString port;
    QString wj;
};
// Loads the entries; an empty list when no connection stands.
QList<ServerEntry> LoadServerEntries(Connection& connection);
// Stores a changed or new entry on the server; returns its id ("" on failure).
QString SaveServerEntry(Connection& connection, const ServerEntry& entry);
// "Eintrag als Standard": keeps the entry as the workstation's default in the
// login settings and clears the flag no default server entry.
void SetDefaultServerEntry(const ServerEntry& entry);
// Takes the entry into the login form (the server list's boxes).
void TakeServerEntry(const ServerEntry& entry);
// Whether a connection stands over which the server list's entries are read
// and saved (none while the server cannot be reached).
bool ServerEntriesReachable(Connection& connection);
// Server data typed into the server list become the login data: the next
// connection attempt and the next login use them (ApplyServerForm). With
// keep the workstation's login settings keep them as well (the keys
// "Eintrag als Standard" writes, but no "ServerObjekt"), so that the next
// start uses them: for typed data that no entry on the server holds.
void TakeTypedServerData(Connection& connection, const ServerEntry& entry, bool keep);
// Makes the connection use the form's server data (the server list's saving).
void ApplyServerForm(Connection& connection);

// Texts of the login.
inline const QString kWrongPassword = QStringLiteral("Passwort Falsch oder Benutzer nicht Aktiv.");
inline const QString kWrongPasswordTitle = QStringLiteral("Anmeldung an Caché.");
inline const QString kLocationLocked = QStringLiteral("Sie dürfen die Filiale nicht verändern.");
inline const QString kLocationLockedTitle = QStringLiteral("Anmeldung an VELTAR.");
// The title of the refusal of a company or branch that is not a whole number
// (its text: SessionValuesProblem()).
inline const QString kInvalidCompanyTitle = QStringLiteral("Anmeldung an VELTAR.");
