#include "importquillkeystask.h"

#include "digsigconstants.h"
#include "keymanager.h"
#include "sysroot.h"

namespace {

const QStringList& rootKeyFiles()
{
    static const QStringList files {QStringLiteral("build_system_quill_root_key_2018.gpg"),
                                    QStringLiteral("partners_quill_root_key_2018.gpg"),
                                    QStringLiteral("primary_key_2018.gpg")};
    return files;
}

} // namespace

ImportQuillKeysTask::ImportQuillKeysTask(Element* element, ElementData* data)
    : ElementTask(element, data)
    , QObject(nullptr)
{
    taskDescription().setDescription(QObject::tr("Read quill keys import state"));
    // The import runs on a worker thread; the library must be set up before that.
    KeyManager::initializeLibrary();
}

ImportQuillKeysTask::~ImportQuillKeysTask() = default;

void ImportQuillKeysTask::run()
{
    importKeys();
    if (_errors.isEmpty()) {
        taskDescription().setStatus(TaskDescription::Succeeded);
    } else {
        taskDescription().setStatus(TaskDescription::Failed);
        taskDescription().setMessage(_errors.join(QLatin1Char('\n')));
    }
    AbstractTask::run();
}

void ImportQuillKeysTask::afterRun()
{ }

void ImportQuillKeysTask::onKeyImportError(QString path, QString error)
{
    _errors.append(Sysroot::systemPath(path) + QStringLiteral(" - ") + error);
}

void ImportQuillKeysTask::importKeys()
{
    KeyManager keyManager;
    if (!keyManager.init(QString())) {
        _errors.append(QObject::tr("Can not initialize key manager for import quill keys"));
        return;
    }
    QObject::connect(&keyManager, &KeyManager::keyImportError, this,
                     &ImportQuillKeysTask::onKeyImportError, Qt::DirectConnection);
    for (const QString& name : rootKeyFiles())
        keyManager.importKey(Sysroot::path(DigSig::digsigDirectory() + QLatin1Char('/') + name));
}
