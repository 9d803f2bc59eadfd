#pragma once

#include <QString>

// The login defaults: company, branch, port and namespace when neither the
// command line nor the settings give one, and the server list entry id that
// means "none chosen".
inline const QString kDefaultFirma = QStringLiteral("1");
inline const QString kDefaultFil = QStringLiteral("0");
inline const QString kDefaultPort = QStringLiteral("1973");
inline const QString kDefaultNamespace = QStringLiteral("VELTAR");
inline const QString kNoServerEntry = QStringLiteral("255");

// The session of one program run: who is logged in where. Filled by the
// login; read by every part that talks to the server.
struct SessionContext {
    QString firma = kDefaultFirma; // company
    QString fil = kDefaultFil;     // branch
    QString standort;              // chosen location
    QString deviceStandort;        // location assigned to the workstation
    QString workstation;           // workstation name
    QString wj;                    // fiscal year
    QString personal;              // user code
    QString password;
    QString userDisplay; // user code "|" name
    QString userName;
    QString pnr;
    QString abtnr;
    QString abtbez;
    QString habtnr;
    QString dw;
    QString bergrp;
    QString fax;
    QString email;
    QString server;
    QString port = kDefaultPort;
    QString nameSpace = kDefaultNamespace;
    QString serverObjectId = kNoServerEntry; // no server list entry chosen
    QString commandLine;                     // the program's command line for login
    bool noAutoPassword = true;
    bool loginFailed = false;
    bool noDefaultServer = false;
};

// The one session of the program.
SessionContext& Session();

// The user's personnel code: the first "|"-field of the user display text.
QString PersonnelCode();

// The main window's title for the current session: company, location and
// user display text.
QString MainWindowTitle();
