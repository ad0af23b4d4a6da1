#pragma once

#include "bsign.h"

#include <QDialog>
#include <QStringList>

class KeyManager;
class QFile;
class QFileInfo;
class QPushButton;

namespace Ui {
class SigningDialog;
}

// One signing run: expands the selection into files, signs them in parallel on the global
// thread pool, and on success exports the public key and adds the selection to the control
// file. gpg-agent's times are raised for the run and restored when it ends in any way.
class SigningDialog : public QDialog
{
    Q_OBJECT
public:
    SigningDialog(KeyManager* keyManager, const QString& keyId, const QStringList& paths,
                  Bsign::SignMode mode, bool saveLog, QWidget* parent = nullptr);
    ~SigningDialog() override;

    bool isFinished() const;
    // The files of the selection that the run would sign, each once.
    QStringList collectFiles(const QStringList& paths);

public Q_SLOTS:
    int exec() override;
    void reject() override;

private Q_SLOTS:
    void listFiles();
    void signFiles();
    void exportkey();
    void onKeyExported(QString keyID, QString path);
    void onKeyExportError(QString keyID, QString path, QString error);
    void onSigningFinished(QString file, Bsign::ReturnValue value);
    void onErrorOccurred(QString file, QProcess::ProcessError error);
    void signNext();
    void sign(QString file);
    void writeXattrControl();
    void setGPGAgentOptions();
    void setDefaultGPGAgentOptions();
    void enableOkButton(bool enable = true);
    void enableCancelButton(bool enable = true);
    void enableButton(QPushButton* button, bool enable = true);
    void initializeLog();
    void log(QString message);
    void writeLog(QString message);

private:
    void appendIfSignable(QStringList& list, const QFileInfo& info) const;
    void stopOnFailure();

    KeyManager* _keyManager;
    QString _keyId;
    QStringList _paths;
    Bsign::SignMode _mode;
    qint64 _remaining;
    QStringList _files;
    bool _errorOccurred;
    bool _finished;
    // Set once reject() has run: from then on no file may be started.
    bool _cancelled;
    QFile* _logFile;
    bool _saveLog;
    Ui::SigningDialog* ui;
};
