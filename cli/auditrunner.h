#pragma once

#include <QCoreApplication>

class CommandOutput;
class SignatureAudit;

// Runs a signature audit to its end on the event loop, with its progress on standard error;
// an interrupt (Ctrl+C) cancels it.
class AuditRunner
{
    Q_DECLARE_TR_FUNCTIONS(AuditRunner)
public:
    // False when the audit was cancelled.
    static bool run(SignatureAudit& audit, CommandOutput& output);

private:
    AuditRunner() = delete;
};
