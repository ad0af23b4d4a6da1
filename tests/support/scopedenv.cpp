#include "scopedenv.h"

#include <QtGlobal>

namespace TestSupport {

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : _name(name)
    , _previous(qgetenv(name))
    , _wasSet(qEnvironmentVariableIsSet(name))
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (_wasSet)
        qputenv(_name.constData(), _previous);
    else
        qunsetenv(_name.constData());
}

} // namespace TestSupport
