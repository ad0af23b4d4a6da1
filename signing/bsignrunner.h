#pragma once

#include "bsign.h"

#include <QObject>
#include <QRunnable>
#include <QString>

// Signs one file on a thread of the global pool and reports the outcome through exactly one
// of its signals; connect them queued, the runner deletes itself when run() returns.
class BsignRunner : public QObject, public QRunnable
{
    Q_OBJECT
public:
    BsignRunner(const QString& file, const QString& key, Bsign::SignMode mode);
    ~BsignRunner() override;

    void run() override;

Q_SIGNALS:
    void finished(QString file, Bsign::ReturnValue value);
    void errorOccured(QString file, QProcess::ProcessError error);

private:
    QString _file;
    QString _key;
    Bsign::SignMode _mode;
};
