#pragma once

#include "covaframework_export.h"
#include "taskdescription.h"

class ElementData;

// A unit of console work. run() may run on a worker thread and never touches a widget;
// afterRun() follows on the GUI thread. The task owns its data.
class COVAFRAMEWORK_EXPORT AbstractTask
{
public:
    explicit AbstractTask(ElementData* data);
    virtual ~AbstractTask();
    AbstractTask(const AbstractTask&) = delete;
    AbstractTask& operator=(const AbstractTask&) = delete;

    // Overrides end by calling this.
    virtual void run();
    virtual void afterRun();

    ElementData* data() const;
    TaskDescription& taskDescription();
    const TaskDescription& taskDescription() const;
    bool hasRun() const;

protected:
    void setData(ElementData* data);

private:
    ElementData* _data;
    TaskDescription _taskDescription;
    bool _hasRun;
};
