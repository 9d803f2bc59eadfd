#include "Passwords.h"

#include <mutex>
#include <sodium.h>
#include <stdexcept>

namespace {

// Argon2id with 19 MiB and two passes.
constexpr unsigned long long kOpsLimit = 2;
constexpr size_t kMemLimit = 19 * 1024 * 1024;

void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium cannot be initialised");
    });
}

} // namespace

namespace Passwords {

bool IsHash(const QString& stored) {
    return stored.startsWith(QLatin1String(crypto_pwhash_STRPREFIX));
}

QString Hash(const QString& password) {
    initialise();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), quint64(utf8.size()), kOpsLimit, kMemLimit) != 0)
        throw std::runtime_error("not enough memory to hash a password");
    return QString::fromLatin1(out);
}

bool Verify(const QString& stored, const QString& password) {
    initialise();
    if (!IsHash(stored) || stored.size() >= crypto_pwhash_STRBYTES)
        return false;
    const QByteArray hash = stored.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

bool NeedsRehash(const QString& stored) {
    initialise();
    if (!IsHash(stored) || stored.size() >= crypto_pwhash_STRBYTES)
        return true;
    const QByteArray hash = stored.toLatin1();
    return crypto_pwhash_str_needs_rehash(hash.constData(), kOpsLimit, kMemLimit) != 0;
}

void VerifyNobody(const QString& password) {
    static const QString nobody = [] {
        unsigned char random[16];
        initialise();
        randombytes_buf(random, sizeof random);
        return Hash(QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex()));
    }();
    Verify(nobody, password);
}

} // namespace Passwords
