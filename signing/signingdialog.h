#pragma once

#include "bsign.h"
#include "signingengine.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QStringList>

class KeyManager;

namespace Ui {
class SigningDialog;
}

// One signing run shown to the administrator: the log, "n of N" files done while the listing
// still finds more, and OK once the run has ended. The work is the SigningEngine's; Cancel
// stops it without waiting, and the dialog closes when the engine has ended.
class SigningDialog : public QDialog
{
    Q_OBJECT
public:
    SigningDialog(KeyManager* keyManager, const QString& keyId, const QStringList& paths,
                  Bsign::SignMode mode, bool saveLog, QWidget* parent = nullptr);
    ~SigningDialog() override;

    bool isFinished() const;

public Q_SLOTS:
    int exec() override;
    void reject() override;

private Q_SLOTS:
    void start();
    void appendLog(const QStringList& lines);
    void showProgress(qint64 done, qint64 listed, bool listingComplete);
    void onEnded();

private:
    void enableButton(QDialogButtonBox::StandardButton which, bool enable);

    SigningEngine* _engine;
    // Set by Cancel: the dialog closes once the engine has ended.
    bool _closeWhenEnded = false;
    bool _started = false;
    Ui::SigningDialog* ui;
};
