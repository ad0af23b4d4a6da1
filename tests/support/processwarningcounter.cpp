#include "processwarningcounter.h"

#include <QString>
#include <QtGlobal>

namespace TestSupport {

namespace {
int processWarnings = 0;
QtMessageHandler previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("Destroyed while process")))
        ++processWarnings;
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

ProcessWarningCounter::ProcessWarningCounter()
{
    processWarnings = 0;
    previousHandler = qInstallMessageHandler(countingHandler);
}

ProcessWarningCounter::~ProcessWarningCounter()
{
    qInstallMessageHandler(previousHandler);
}

int ProcessWarningCounter::count() const
{
    return processWarnings;
}

} // namespace TestSupport
