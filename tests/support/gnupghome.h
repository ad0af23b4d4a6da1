#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away GnuPG home for tests: keys are made with gpg --batch, and any gpg-agent that
// GnuPG starts there is stopped when the home goes away.
class GnupgHome
{
public:
    // Uses dir when given (created with mode 0700), else a fresh temporary folder.
    explicit GnupgHome(const QString& dir = QString())
        : _temporary(QDir::tempPath() + QStringLiteral("/digsig-gnupg-XXXXXX"))
        , _path(dir.isEmpty() ? _temporary.path() : dir)
    {
        QDir().mkpath(_path);
        QFile::setPermissions(_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    ~GnupgHome()
    {
        run(QStringLiteral("gpgconf"), {QStringLiteral("--kill"), QStringLiteral("gpg-agent")});
    }

    GnupgHome(const GnupgHome&) = delete;
    GnupgHome& operator=(const GnupgHome&) = delete;

    QString path() const { return _path; }

    // Points GNUPGHOME of this process at the home, for code that uses the default home.
    void makeDefault() const { qputenv("GNUPGHOME", _path.toUtf8()); }

    int gpg(const QStringList& arguments, QByteArray* output = nullptr,
            const QByteArray& input = QByteArray()) const
    {
        return run(
            QStringLiteral("gpg"),
            QStringList {QStringLiteral("--batch"), QStringLiteral("--passphrase"), QString()}
                + arguments,
            output, input);
    }

    // Makes a key with one user id; returns the fingerprints of its key and subkeys, in order.
    QStringList makeKey(const QString& userId, const QString& algorithm,
                        const QString& fakedTime = QString()) const
    {
        gpg(faked(fakedTime)
            + QStringList {QStringLiteral("--quick-gen-key"), userId, algorithm,
                           QStringLiteral("sign"), QStringLiteral("never")});
        return fingerprints(userId);
    }

    void addSubkey(const QString& fingerprint, const QString& algorithm, const QString& usage,
                   const QString& expire, const QString& fakedTime = QString()) const
    {
        gpg(faked(fakedTime)
            + QStringList {QStringLiteral("--quick-add-key"), fingerprint, algorithm, usage,
                           expire});
    }

    // Revokes the subkey at the given position (1 is the first subkey).
    void revokeSubkey(const QString& fingerprint, int position) const
    {
        const QByteArray commands
            = QStringLiteral("key %1\nrevkey\ny\n0\n\ny\nsave\n").arg(position).toLatin1();
        gpg({QStringLiteral("--yes"), QStringLiteral("--command-fd"), QStringLiteral("0"),
             QStringLiteral("--pinentry-mode"), QStringLiteral("loopback"),
             QStringLiteral("--edit-key"), fingerprint},
            nullptr, commands);
    }

    QStringList fingerprints(const QString& pattern, bool secret = true) const
    {
        QByteArray listing;
        QStringList arguments {QStringLiteral("--with-colons"),
                               secret ? QStringLiteral("--list-secret-keys")
                                      : QStringLiteral("--list-keys")};
        if (!pattern.isEmpty())
            arguments.append(pattern);
        gpg(arguments, &listing);
        QStringList result;
        for (const QByteArray& line : listing.split('\n')) {
            if (line.startsWith("fpr:"))
                result.append(QString::fromLatin1(line.split(':').value(9)));
        }
        return result;
    }

private:
    static QStringList faked(const QString& time)
    {
        return time.isEmpty() ? QStringList()
                              : QStringList {QStringLiteral("--faked-system-time"), time};
    }

    int run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
            const QByteArray& input = QByteArray()) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("GNUPGHOME"), _path);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (!process.waitForStarted(-1))
            return -1;
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(-1);
        if (output)
            *output = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir _temporary;
    QString _path;
};
