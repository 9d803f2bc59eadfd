#pragma once

#include <QHash>
#include <QString>

// The outcome of checking one password against stored values beforehand
// (PasswordChecker): for each value, whether the password is the one its
// hash was made of.
struct PasswordVerdicts {
    QString password;
    QHash<QString, bool> matches;
    // For a matching value made with another cost than today's: the new
    // hash of the password, made beforehand as well.
    QHash<QString, QString> rehashed;
};

// Passwords of the ERP's user records are kept as salted Argon2id hashes
// (libsodium's crypto_pwhash_str: the text holds algorithm, cost, salt and
// hash), never in clear. One check costs some 19 MiB of memory and two
// passes over it, so that guessing a password from a stolen database is
// slow.
namespace Passwords {

// Whether a stored value is such a hash (and not a password in clear, as
// earlier stand-in versions kept them).
bool IsHash(const QString& stored);
// A new hash of the password with a random salt. Throws std::runtime_error
// when the memory for it cannot be had.
QString Hash(const QString& password);
// Whether the password is the one the hash was made of; false for anything
// that is no hash.
bool Verify(const QString& stored, const QString& password);
// Whether a hash was made with another cost than Hash() uses now.
bool NeedsRehash(const QString& stored);
// Costs what Verify() costs, against a hash of no user: a user code that
// does not exist takes as long to refuse as a wrong password.
void VerifyNobody(const QString& password);

} // namespace Passwords
