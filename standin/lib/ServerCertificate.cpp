#include "ServerCertificate.h"

#include <QFile>
#include <QHostAddress>
#include <QSaveFile>
#include <functional>
#include <memory>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

bool addExtension(X509* certificate, int nid, const QByteArray& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.constData());
    if (!ext)
        return false;
    const bool added = X509_add_ext(certificate, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return added;
}

QByteArray pem(const std::function<int(BIO*)>& write) {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1)
        return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(size));
}

void writeFile(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(permissions) ||
        file.write(data) != data.size() || !file.commit())
        fail(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString());
}

// A self-signed certificate for the hosts, with a new key.
void makeCertificate(const QString& certificateFile, const QString& keyFile,
                     const QStringList& hosts) {
    Key key(EVP_EC_gen("P-256"));
    Certificate x(X509_new());
    unsigned char random[16];
    if (!key || !x || RAND_bytes(random, sizeof random) != 1)
        fail(QStringLiteral("cannot make a key for the TLS certificate"));
    random[0] &= 0x7f;
    Number serial(BN_bin2bn(random, sizeof random, nullptr));
    QStringList names;
    for (const QString& host : hosts) {
        const QString entry =
            (QHostAddress(host).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + host;
        if (!host.isEmpty() && !names.contains(entry))
            names << entry;
    }
    X509_NAME* subject = X509_get_subject_name(x.get());
    const bool made =
        X509_set_version(x.get(), 2) == 1 && serial &&
        BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(x.get())) &&
        X509_gmtime_adj(X509_getm_notBefore(x.get()), -3600) &&
        X509_gmtime_adj(X509_getm_notAfter(x.get()), 10L * 366 * 24 * 3600) &&
        X509_set_pubkey(x.get(), key.get()) == 1 &&
        X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("VELTAR Stand-in"), -1,
                                   -1, 0) == 1 &&
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("veltar-standin"), -1, -1,
                                   0) == 1 &&
        X509_set_issuer_name(x.get(), subject) == 1 &&
        addExtension(x.get(), NID_basic_constraints, "critical,CA:TRUE") &&
        addExtension(x.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") &&
        addExtension(x.get(), NID_ext_key_usage, "serverAuth") &&
        addExtension(x.get(), NID_subject_key_identifier, "hash") &&
        addExtension(x.get(), NID_subject_alt_name, names.join(u',').toUtf8()) &&
        X509_sign(x.get(), key.get(), EVP_sha256()) > 0;
    if (!made)
        fail(QStringLiteral("cannot make the TLS certificate"));
    const QByteArray keyPem = pem([&](BIO* b) {
        return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    const QByteArray certificatePem = pem([&](BIO* b) { return PEM_write_bio_X509(b, x.get()); });
    if (keyPem.isEmpty() || certificatePem.isEmpty())
        fail(QStringLiteral("cannot write the TLS certificate"));
    writeFile(keyFile, keyPem, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeFile(certificateFile, certificatePem,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                  QFileDevice::ReadOther);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read ") + path + QStringLiteral(": ") + file.errorString());
    return file.readAll();
}

} // namespace

ServerCertificate LoadServerCertificate(const QString& certificateFile, const QString& keyFile,
                                        bool create, const QStringList& hosts) {
    ServerCertificate result;
    if (create && !QFile::exists(certificateFile) && !QFile::exists(keyFile)) {
        makeCertificate(certificateFile, keyFile, hosts);
        result.made = true;
    }
    const QByteArray certificate = readFile(certificateFile);
    const QByteArray key = readFile(keyFile);
    result.certificate = QSslCertificate(certificate, QSsl::Pem);
    if (result.certificate.isNull())
        fail(certificateFile + QStringLiteral(" holds no PEM certificate"));
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
        result.key = QSslKey(key, algorithm, QSsl::Pem);
        if (!result.key.isNull())
            break;
    }
    if (result.key.isNull())
        fail(keyFile + QStringLiteral(" holds no PEM private key"));
    return result;
}

QSslConfiguration ServerTlsConfiguration(const ServerCertificate& certificate) {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setLocalCertificate(certificate.certificate);
    configuration.setPrivateKey(certificate.key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}
