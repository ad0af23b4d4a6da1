#include "signingsummary.h"

QString SigningSummary::text() const
{
    return tr("Summary: %1 signed, %2 not found, %3 failed, %4 skipped, %5 not started.")
        .arg(signedFiles)
        .arg(notFound)
        .arg(failed)
        .arg(skipped)
        .arg(notStarted);
}
