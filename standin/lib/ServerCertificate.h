#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>
#include <QStringList>

// The certificate the server shows on its TLS connections and its private
// key, each a PEM file: given on the command line, or made on first start
// (self-signed, next to the database) and kept for every later start, so
// that the workstations that trusted it once go on trusting it.
struct ServerCertificate {
    QSslCertificate certificate;
    QSslKey key;
    bool made = false; // made on this start
};

// Loads certificate and key. When create is set and neither file exists,
// makes a self-signed certificate first: an EC P-256 key (the key file
// readable by its owner only), valid for ten years, for the names and
// addresses of hosts, usable as its own CA file. Throws std::runtime_error
// with the reason when the files cannot be made or read.
ServerCertificate LoadServerCertificate(const QString& certificateFile, const QString& keyFile,
                                        bool create, const QStringList& hosts);

// TLS 1.2 or later with that certificate; the server asks clients for none.
QSslConfiguration ServerTlsConfiguration(const ServerCertificate& certificate);
