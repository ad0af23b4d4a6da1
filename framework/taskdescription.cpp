#include "taskdescription.h"

QString TaskDescription::description() const
{
    return _description;
}

void TaskDescription::setDescription(const QString& description)
{
    _description = description;
}

QString TaskDescription::message() const
{
    return _message;
}

void TaskDescription::setMessage(const QString& message)
{
    _message = message;
}

int TaskDescription::status() const
{
    return _status;
}

void TaskDescription::setStatus(int status)
{
    _status = status;
}
