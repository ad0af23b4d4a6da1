#pragma once

#include <QCoreApplication>
#include <QString>

// What became of the files of one signing run; every listed file is in exactly one count,
// and so is every entry that could not be listed (skipped).
struct SigningSummary
{
    Q_DECLARE_TR_FUNCTIONS(SigningSummary)
public:
    qint64 signedFiles = 0;
    qint64 notFound = 0;
    qint64 failed = 0;
    qint64 skipped = 0;
    qint64 notStarted = 0;

    // The line that ends the log of every run.
    QString text() const;
};
