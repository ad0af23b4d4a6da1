#include "abstracttask.h"

#include "elementdata.h"

AbstractTask::AbstractTask(ElementData* data)
    : _data(data)
    , _hasRun(false)
{ }

AbstractTask::~AbstractTask()
{
    delete _data;
}

void AbstractTask::run()
{
    _hasRun = true;
}

void AbstractTask::afterRun()
{ }

ElementData* AbstractTask::data() const
{
    return _data;
}

TaskDescription& AbstractTask::taskDescription()
{
    return _taskDescription;
}

const TaskDescription& AbstractTask::taskDescription() const
{
    return _taskDescription;
}

bool AbstractTask::hasRun() const
{
    return _hasRun;
}

void AbstractTask::setData(ElementData* data)
{
    if (data == _data)
        return;
    delete _data;
    _data = data;
}
