#pragma once

#include "covaframework_export.h"

#include <QString>

// What a task shows in the console's task panel: what it does and how it ended.
class COVAFRAMEWORK_EXPORT TaskDescription
{
public:
    enum TaskStatus {
        NotFinished = 0,
        Failed = 1,
        Succeeded = 2,
        SucceededWithWarnings = 3,
    };

    QString description() const;
    void setDescription(const QString& description);
    QString message() const;
    void setMessage(const QString& message);
    int status() const;
    void setStatus(int status);

private:
    QString _description;
    QString _message;
    int _status = NotFinished;
};
