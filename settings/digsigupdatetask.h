#pragma once

#include "updatetask.h"

#include <QByteArray>

// Writes the edited settings and rebuilds the initial RAM file system; afterwards has the
// settings read back and, after a non-failed update, lets the widget ask for a reboot.
class DigSigUpdateTask : public UpdateTask
{
public:
    DigSigUpdateTask(Element* element, ElementData* data);
    ~DigSigUpdateTask() override;

    void run() override;
    void afterRun() override;

private:
    // What the record was based on (the read the widget showed), and what was written.
    QByteArray _readFingerprints[2];
    QByteArray _savedFingerprints[2];
};
