#pragma once

namespace TestSupport {

// Counts Qt's warnings about a QProcess destroyed while still running.
class ProcessWarningCounter
{
public:
    ProcessWarningCounter();
    ~ProcessWarningCounter();
    int count() const;
};

} // namespace TestSupport
