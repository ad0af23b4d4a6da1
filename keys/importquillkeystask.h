#pragma once

#include "elementtask.h"

#include <QObject>
#include <QStringList>

// Imports the root public keys kept in /etc/digsig into the default GnuPG key ring.
class ImportQuillKeysTask : public ElementTask, public QObject
{
public:
    ImportQuillKeysTask(Element* element, ElementData* data);
    ~ImportQuillKeysTask() override;

    void run() override;
    void afterRun() override;

    void onKeyImportError(QString path, QString error);

private:
    void importKeys();

    QStringList _errors;
};
