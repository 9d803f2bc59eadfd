#pragma once

#include <QString>

// The session of one program run: who is logged in where. Filled by the
// login; read by every part that talks to the server.
struct SessionContext {
    QString firma = QStringLiteral("1"); // company
    QString fil = QStringLiteral("0");   // branch
    QString standort;                    // chosen location
    QString deviceStandort;              // location assigned to the workstation
    QString workstation;                 // workstation name
    QString wj;                          // fiscal year
    QString personal;                    // user code
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
    QString port = QStringLiteral("1973");
    QString nameSpace = QStringLiteral("VELTAR");
    QString serverObjectId = QStringLiteral("255"); // 255: no server list entry chosen
    QString currentSupplier;                        // program-wide current supplier number
    QString commandLine;                            // the program's command line for login
    bool noAutoPassword = true;
    bool loginFailed = false;
    bool noDefaultServer = false;
};

// The one session of the program.
SessionContext& Session();
