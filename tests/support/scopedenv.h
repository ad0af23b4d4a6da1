#pragma once

#include <QByteArray>

namespace TestSupport {

// Sets an environment variable for the lifetime of the object (unsets it when value is null)
// and restores what was there before.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();

    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray _name;
    QByteArray _previous;
    bool _wasSet;
};

} // namespace TestSupport
