#include "auditrunner.h"

#include "commandoutput.h"
#include "interruptwatcher.h"
#include "progressdisplay.h"
#include "signatureaudit.h"

#include <QEventLoop>

bool AuditRunner::run(SignatureAudit& audit, CommandOutput& output)
{
    QEventLoop loop;
    ProgressDisplay progress(output, ProgressDisplay::Verifying);
    InterruptWatcher interrupts;
    QObject::connect(&audit, &SignatureAudit::progressChanged, &loop,
                     [&progress](qint64 done, qint64 listed, bool listingComplete) {
                         progress.update(done, listed, listingComplete);
                     });
    QObject::connect(&audit, &SignatureAudit::ended, &loop, &QEventLoop::quit);
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, [&audit, &output] {
        output.notice(tr("Interrupted: the verification is cancelled."));
        audit.cancel();
    });
    audit.start();
    if (audit.isRunning())
        loop.exec();
    return !audit.wasCancelled();
}
