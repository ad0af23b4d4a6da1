#include "bsignrunner.h"

BsignRunner::BsignRunner(const QString& file, const QString& key, Bsign::SignMode mode)
    : QObject(nullptr)
    , _file(file)
    , _key(key)
    , _mode(mode)
{
    setAutoDelete(true);
    Bsign::registerMetaTypes();
}

BsignRunner::~BsignRunner() = default;

void BsignRunner::run()
{
    Bsign bsign;
    bsign.setFile(_file);
    bsign.setKey(_key);
    bsign.setMode(_mode);
    bsign.sign();
    if (bsign.waitForFinished(-1))
        Q_EMIT finished(_file, bsign.returnValue());
    else
        Q_EMIT errorOccured(_file, bsign.error());
}
