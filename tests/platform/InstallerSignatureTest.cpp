// The installer package check: which packages are accepted and what is refused, that the content
// is written out only for an accepted package, and the installer command and its launcher.

#include "platform/InstallerSignature.h"
#include "platform/InstallerLauncher.h"
#include "platform/UserFolders.h"

#include "platform/InstallerTestSigning.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <functional>

namespace plyfold {
namespace {

using test::CertificateOptions;
using test::MakeCertificate;
using test::MakeRoot;
using test::SigningOptions;
using test::SignPackage;
using test::TestCertificate;

const QByteArray kInstaller = QByteArray("MSI installer bytes\0\x01\x02\xFF", 23).repeated(500);

class InstallerSignatureTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    InstallerTrust Trust() const {
        return InstallerTrust{m_root.pem(), QString::fromLatin1(kInstallerSignerName)};
    }

    QString Write(const QString& name, const QByteArray& bytes) const {
        const QString path = Path(name);
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }

    QTemporaryDir m_dir;
    TestCertificate m_root = MakeRoot();
    TestCertificate m_signer = MakeCertificate(CertificateOptions(), &m_root);
};

TEST_F(InstallerSignatureTest, AcceptedPackageYieldsItsContentExactly) {
    const QString package = Write("Plyfold-Installer.msi", SignPackage(kInstaller, m_signer));
    const QString content = Path("Plyfold-Installer-content.msi");
    test::WriteFileBytes(content, "stale content of an older run");

    const PackageVerdict verdict = VerifySignedPackage(package, Trust(), content);
    EXPECT_TRUE(verdict.accepted()) << verdict.detail.toStdString();
    EXPECT_EQ(verdict.signerName, QStringLiteral("Tessarine"));
    EXPECT_EQ(test::ReadFileBytes(content), kInstaller);
    EXPECT_FALSE(QFileInfo::exists(content + ".unverified"));
    // Checking alone writes nothing.
    EXPECT_TRUE(VerifySignedPackage(package, Trust()).accepted());
}

TEST_F(InstallerSignatureTest, ChainThroughACarriedIntermediateIsAccepted) {
    CertificateOptions intermediateOptions;
    intermediateOptions.commonName = QStringLiteral("Test Intermediate");
    intermediateOptions.authority = true;
    const TestCertificate intermediate = MakeCertificate(intermediateOptions, &m_root);
    const TestCertificate signer = MakeCertificate(CertificateOptions(), &intermediate);
    SigningOptions options;
    options.carried = {&intermediate};
    const QString package = Write("chain.msi", SignPackage(kInstaller, signer, options));
    EXPECT_TRUE(VerifySignedPackage(package, Trust()).accepted());

    // Without the intermediate in the package there is no chain.
    const QString bare = Write("bare.msi", SignPackage(kInstaller, signer));
    EXPECT_EQ(VerifySignedPackage(bare, Trust()).result, PackageCheck::UntrustedChain);
}

// Each refused package: what it is, why it is refused, and that no content is left behind.
TEST_F(InstallerSignatureTest, RefusedPackagesLeaveNoContent) {
    const TestCertificate otherRoot = MakeRoot(QStringLiteral("Someone Else"));
    CertificateOptions named;
    named.commonName = QStringLiteral("Tessarine Ltd");
    CertificateOptions mailOnly;
    mailOnly.codeSigning = false;
    CertificateOptions expired;
    expired.validFromDays = -30;
    expired.validToDays = -1;
    CertificateOptions twoNames;
    twoNames.secondCommonName = true;

    const TestCertificate foreignSigner = MakeCertificate(CertificateOptions(), &otherRoot);
    const TestCertificate wrongName = MakeCertificate(named, &m_root);
    const TestCertificate mailSigner = MakeCertificate(mailOnly, &m_root);
    const TestCertificate expiredSigner = MakeCertificate(expired, &m_root);
    const TestCertificate twoNameSigner = MakeCertificate(twoNames, &m_root);
    const TestCertificate selfSigned = MakeCertificate(CertificateOptions());

    QByteArray tampered = SignPackage(kInstaller, m_signer);
    const qsizetype at = tampered.indexOf("MSI installer bytes");
    ASSERT_GE(at, 0);
    tampered[at] = 'X';

    SigningOptions sha1;
    sha1.digest = EVP_sha1();
    SigningOptions detached;
    detached.detached = true;
    SigningOptions twoSigners;
    twoSigners.secondSigner = &mailSigner;

    const struct {
        const char* name;
        QByteArray bytes;
        PackageCheck expected;
    } cases[] = {
        {"tampered content", tampered, PackageCheck::BadSignature},
        {"signed under another root", SignPackage(kInstaller, foreignSigner),
         PackageCheck::UntrustedChain},
        {"self-signed signer", SignPackage(kInstaller, selfSigned), PackageCheck::UntrustedChain},
        {"expired signer", SignPackage(kInstaller, expiredSigner), PackageCheck::UntrustedChain},
        {"other common name", SignPackage(kInstaller, wrongName), PackageCheck::WrongSigner},
        {"two common names", SignPackage(kInstaller, twoNameSigner), PackageCheck::WrongSigner},
        {"e-mail certificate", SignPackage(kInstaller, mailSigner), PackageCheck::NotCodeSigning},
        {"SHA-1 digest", SignPackage(kInstaller, m_signer, sha1), PackageCheck::WeakDigest},
        {"detached signature", SignPackage(kInstaller, m_signer, detached),
         PackageCheck::NotSignedPackage},
        {"two signers", SignPackage(kInstaller, m_signer, twoSigners),
         PackageCheck::NotSignedPackage},
        {"bare installer", kInstaller, PackageCheck::NotSignedPackage},
        {"empty file", QByteArray(), PackageCheck::NotSignedPackage},
        {"cut short", SignPackage(kInstaller, m_signer).left(2000), PackageCheck::NotSignedPackage},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const QString package = Write("package.msi", row.bytes);
        const QString content = Path("content.msi");
        const PackageVerdict verdict = VerifySignedPackage(package, Trust(), content);
        EXPECT_EQ(verdict.result, row.expected) << verdict.detail.toStdString();
        EXPECT_FALSE(QFileInfo::exists(content));
        EXPECT_FALSE(QFileInfo::exists(content + ".unverified"));
    }
}

TEST_F(InstallerSignatureTest, MissingFilesAndMissingRootsRefuse) {
    EXPECT_EQ(VerifySignedPackage(Path("absent.msi"), Trust()).result, PackageCheck::Unreadable);
    EXPECT_EQ(VerifySignedPackage(m_dir.path(), Trust()).result, PackageCheck::Unreadable);
    EXPECT_EQ(VerifySignedPackage(QString(), Trust()).result, PackageCheck::Unreadable);

    const QString package = Write("good.msi", SignPackage(kInstaller, m_signer));
    InstallerTrust noRoot = Trust();
    noRoot.rootCertificates = "not a certificate";
    EXPECT_EQ(VerifySignedPackage(package, noRoot).result, PackageCheck::UntrustedChain);
    // The program's own root does not trust the test signer.
    EXPECT_EQ(
        VerifySignedPackage(package, InstallerTrust{ProductionInstallerRoot(),
                                                    QString::fromLatin1(kInstallerSignerName)})
            .result,
        PackageCheck::UntrustedChain);
}

TEST(InstallerTrustTest, ProductionRootIsAValidAuthorityAndTheEnvironmentReplacesIt) {
    const QByteArray pem = ProductionInstallerRoot();
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    X509* root = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(X509_check_ca(root), 1);
    EXPECT_EQ(X509_cmp_current_time(X509_get0_notBefore(root)), -1);
    EXPECT_EQ(X509_cmp_current_time(X509_get0_notAfter(root)), 1);
    X509_free(root);

    qunsetenv("PLYFOLD_INSTALLER_CA");
    EXPECT_EQ(CurrentInstallerTrust().rootCertificates, pem);
    EXPECT_EQ(CurrentInstallerTrust().signerName, QStringLiteral("Tessarine"));

    QTemporaryDir dir;
    const QString file = dir.filePath("root.pem");
    const TestCertificate testRoot = MakeRoot();
    test::WriteFileBytes(file, testRoot.pem());
    qputenv("PLYFOLD_INSTALLER_CA", QFile::encodeName(file));
    EXPECT_EQ(CurrentInstallerTrust().rootCertificates, testRoot.pem());
    // An unreadable file trusts nothing rather than falling back.
    qputenv("PLYFOLD_INSTALLER_CA", QFile::encodeName(dir.filePath("absent.pem")));
    EXPECT_TRUE(CurrentInstallerTrust().rootCertificates.isEmpty());
    qunsetenv("PLYFOLD_INSTALLER_CA");
}

TEST(InstallerCommandTest, ParameterStringAsTheInstallerServiceExpectsIt) {
    InstallerCommand command;
    ASSERT_TRUE(BuildInstallerCommand(QStringLiteral("/home/u/Tessarine/Plyfold Installer.msi"), 0,
                                      &command));
    EXPECT_EQ(command.program, QStringLiteral("msiexec"));
    EXPECT_EQ(
        command.parameters,
        QStringLiteral(R"(/i "/home/u/Tessarine/Plyfold Installer.msi" /qb LAUNCHAPPONEXIT="1")"));
    EXPECT_EQ(command.showCommand, 1);
    EXPECT_EQ(command.installerPath, QStringLiteral("/home/u/Tessarine/Plyfold Installer.msi"));

    ASSERT_TRUE(BuildInstallerCommand(QStringLiteral("/x/P.msi"), 1031, &command));
    EXPECT_EQ(command.parameters,
              QStringLiteral(R"(/i "/x/P.msi" /qb LAUNCHAPPONEXIT="1" ProductLanguage=1031)"));

    // A path the quoted parameter cannot carry gives no command.
    for (const QString& bad :
         {QString(), QStringLiteral("/x/a\"b.msi"), QStringLiteral("/x/a\nb")}) {
        EXPECT_FALSE(BuildInstallerCommand(bad, 0, &command));
        EXPECT_TRUE(command.parameters.isEmpty());
    }
}

TEST(InstallerCommandTest, StartGoesThroughTheLauncherSeam) {
    std::vector<InstallerCommand> started;
    bool answer = true;
    SetInstallerLauncher([&](const InstallerCommand& command) {
        started.push_back(command);
        return answer;
    });
    InstallerCommand command;
    ASSERT_TRUE(BuildInstallerCommand(QStringLiteral("/x/P.msi"), 0, &command));
    EXPECT_TRUE(StartInstaller(command));
    answer = false;
    EXPECT_FALSE(StartInstaller(command));
    // An empty command never reaches the launcher.
    EXPECT_FALSE(StartInstaller(InstallerCommand()));
    SetInstallerLauncher({});
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].parameters, command.parameters);
}

TEST(UserFoldersTest, EnvironmentReplacesTheDataFolder) {
    qputenv("PLYFOLD_USER_DATA_DIR", "/tmp/some/where/");
    EXPECT_EQ(UserApplicationDataFolder(), QStringLiteral("/tmp/some/where"));
    qunsetenv("PLYFOLD_USER_DATA_DIR");
    EXPECT_FALSE(UserApplicationDataFolder().isEmpty());
}

} // namespace
} // namespace plyfold
