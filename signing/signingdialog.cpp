#include "signingdialog.h"
#include "ui_signingdialog.h"

#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <climits>

SigningDialog::SigningDialog(KeyManager* keyManager, const QString& keyId, const QStringList& paths,
                             Bsign::SignMode mode, bool saveLog, QWidget* parent)
    : QDialog(parent)
    , _engine(nullptr)
    , ui(new Ui::SigningDialog)
{
    ui->setupUi(this);
    SigningEngine::Options options;
    options.keyManager = keyManager;
    options.keyId = keyId;
    options.paths = paths;
    options.mode = mode;
    options.saveLog = saveLog;
    _engine = new SigningEngine(options, this);
    connect(_engine, &SigningEngine::logged, this, &SigningDialog::appendLog);
    connect(_engine, &SigningEngine::progressChanged, this, &SigningDialog::showProgress);
    connect(_engine, &SigningEngine::ended, this, &SigningDialog::onEnded);
    ui->progressBar->setMaximum(0);
    ui->progressBar->setValue(0);
    enableButton(QDialogButtonBox::Ok, false);
    enableButton(QDialogButtonBox::Cancel, true);
}

// A run still going when the dialog goes is ended by the engine: nothing more starts, and
// its tools are killed.
SigningDialog::~SigningDialog()
{
    delete _engine;
    delete ui;
}

bool SigningDialog::isFinished() const
{
    return _engine->isFinished();
}

int SigningDialog::exec()
{
    QTimer::singleShot(0, this, &SigningDialog::start);
    return QDialog::exec();
}

void SigningDialog::start()
{
    if (_started)
        return;
    _started = true;
    _engine->start();
}

void SigningDialog::reject()
{
    if (_engine->isRunning()) {
        _closeWhenEnded = true;
        _engine->cancel();
        return;
    }
    // The run has ended (or never started): there is nothing left to stop.
    _started = true;
    appendLog({tr("Cancelling..."), tr("Cancelled.")});
    QDialog::reject();
}

void SigningDialog::appendLog(const QStringList& lines)
{
    ui->logPlainTextEdit->appendPlainText(lines.join(QLatin1Char('\n')));
}

void SigningDialog::showProgress(qint64 done, qint64 listed, bool listingComplete)
{
    if (listed == 0) {
        ui->progressBar->setMaximum(listingComplete ? 1 : 0);
        ui->progressBar->setValue(listingComplete ? 1 : 0);
        return;
    }
    ui->progressBar->setFormat(listingComplete ? tr("%v of %m") : tr("%v of %m so far"));
    ui->progressBar->setMaximum(int(std::min<qint64>(listed, INT_MAX)));
    ui->progressBar->setValue(int(std::min<qint64>(done, INT_MAX)));
}

void SigningDialog::onEnded()
{
    enableButton(QDialogButtonBox::Ok, true);
    enableButton(QDialogButtonBox::Cancel, false);
    if (_closeWhenEnded)
        QDialog::reject();
}

void SigningDialog::enableButton(QDialogButtonBox::StandardButton which, bool enable)
{
    if (QPushButton* button = ui->buttonBox->button(which))
        button->setEnabled(enable);
}
