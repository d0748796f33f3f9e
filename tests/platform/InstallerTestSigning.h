#pragma once

// Test certificates and signed installer packages, made afresh in memory with OpenSSL: a root,
// code-signing certificates issued by it (or by a root the program does not trust), and CMS
// packages signed with them. The keys live only as long as the test process. Header-only, so
// that the platform, update and application tests can all use it (each links OpenSSL::Crypto).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <vector>

namespace plyfold::test {

struct TestCertificate {
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> cert;

    QByteArray pem() const {
        BIO* bio = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(bio, cert.get());
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        QByteArray text(data, static_cast<qsizetype>(length));
        BIO_free(bio);
        return text;
    }
};

struct CertificateOptions {
    QString commonName = QStringLiteral("Tessarine");
    bool authority = false;  // a CA certificate (basic constraints CA, key usage keyCertSign)
    bool codeSigning = true; // extended key usage codeSigning (else emailProtection)
    bool secondCommonName = false;
    long validFromDays = -1; // relative to now
    long validToDays = 3650;
};

namespace detail {

inline void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension != nullptr) {
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
}

inline long nextSerial() {
    static long serial = 1000;
    return ++serial;
}

} // namespace detail

// A certificate for a fresh P-256 key, issued by `issuer` (null: self-signed).
inline TestCertificate MakeCertificate(const CertificateOptions& options,
                                       const TestCertificate* issuer = nullptr) {
    TestCertificate made;
    made.key.reset(EVP_EC_gen("P-256"), EVP_PKEY_free);
    made.cert.reset(X509_new(), X509_free);
    X509* cert = made.cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), detail::nextSerial());
    X509_gmtime_adj(X509_getm_notBefore(cert), options.validFromDays * 24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), options.validToDays * 24 * 3600);
    X509_set_pubkey(cert, made.key.get());
    X509_NAME* name = X509_get_subject_name(cert);
    const QByteArray common = options.commonName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(common.constData()), -1, -1,
                               0);
    if (options.secondCommonName) {
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("Other"), -1, -1, 0);
    }
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("Test"), -1, -1, 0);
    X509* issuerCert = issuer != nullptr ? issuer->cert.get() : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
    detail::addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
    if (issuer != nullptr) {
        detail::addExtension(cert, issuerCert, NID_authority_key_identifier, "keyid:always");
    }
    if (options.authority) {
        detail::addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
        detail::addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        detail::addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:FALSE");
        detail::addExtension(cert, issuerCert, NID_key_usage, "critical,digitalSignature");
        detail::addExtension(cert, issuerCert, NID_ext_key_usage,
                             options.codeSigning ? "codeSigning" : "emailProtection");
    }
    X509_sign(cert, issuer != nullptr ? issuer->key.get() : made.key.get(), EVP_sha256());
    return made;
}

inline TestCertificate MakeRoot(const QString& name = QStringLiteral("Test Root")) {
    CertificateOptions options;
    options.commonName = name;
    options.authority = true;
    return MakeCertificate(options);
}

struct SigningOptions {
    const EVP_MD* digest = EVP_sha256();
    bool detached = false;
    // Further certificates carried in the package (intermediate authorities).
    std::vector<const TestCertificate*> carried;
    // A second signer, when set.
    const TestCertificate* secondSigner = nullptr;
};

// A DER CMS package carrying `content`, signed by `signer`.
inline QByteArray SignPackage(const QByteArray& content, const TestCertificate& signer,
                              const SigningOptions& options = SigningOptions()) {
    STACK_OF(X509)* extra = sk_X509_new_null();
    for (const TestCertificate* cert : options.carried) {
        sk_X509_push(extra, cert->cert.get());
    }
    BIO* data = BIO_new_mem_buf(content.constData(), static_cast<int>(content.size()));
    unsigned int flags = CMS_BINARY | CMS_PARTIAL;
    if (options.detached) {
        flags |= CMS_DETACHED;
    }
    CMS_ContentInfo* cms = CMS_sign(nullptr, nullptr, extra, nullptr, flags);
    CMS_add1_signer(cms, signer.cert.get(), signer.key.get(), options.digest, CMS_BINARY);
    if (options.secondSigner != nullptr) {
        CMS_add1_signer(cms, options.secondSigner->cert.get(), options.secondSigner->key.get(),
                        options.digest, CMS_BINARY);
    }
    CMS_final(cms, data, nullptr, CMS_BINARY);
    BIO* out = BIO_new(BIO_s_mem());
    i2d_CMS_bio(out, cms);
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(out, &bytes);
    QByteArray package(bytes, static_cast<qsizetype>(length));
    BIO_free(out);
    BIO_free(data);
    CMS_ContentInfo_free(cms);
    sk_X509_free(extra);
    return package;
}

// A root the program is pointed at, and the maker's code-signing certificate issued by it.
struct TestSigningSet {
    TestCertificate root = MakeRoot();
    TestCertificate signer = MakeCertificate(CertificateOptions(), &root);

    QByteArray Sign(const QByteArray& content) const { return SignPackage(content, signer); }
};

inline bool WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace plyfold::test
