#include "bsign.h"

namespace {

const QString toolProgram = QStringLiteral("bsign");

// The quotation marks are ordinary characters of one argument: no shell sees them.
const QString passTemplate = QStringLiteral("-p\"\"%1%2--pinentry-mode ask\"\"");

QString optionPart(const QString& option, const QString& value)
{
    return value.isEmpty() ? QString() : QStringLiteral("--%1 %2 ").arg(option, value);
}

} // namespace

Bsign::Bsign(const QString& file)
    : _file(file)
{ }

QString Bsign::program()
{
    return toolProgram;
}

QStringList Bsign::signArguments() const
{
    QStringList arguments {QStringLiteral("--sign")};
    if (_mode == ElfOnly)
        arguments << QStringLiteral("--elf-only");
    if (_mode == XattrOnly)
        arguments << QStringLiteral("--xattr");
    if (_forceResign)
        arguments << QStringLiteral("--force-resign");
    arguments << QStringLiteral("--nopass");
    arguments << passTemplate.arg(optionPart(QStringLiteral("homedir"), _homeDir))
                     .arg(optionPart(QStringLiteral("default-key"), _key));
    arguments << _file;
    return arguments;
}

QStringList Bsign::verifyArguments() const
{
    return {QStringLiteral("--verify"), _file};
}

bool Bsign::sign(ToolProcess::Group* group)
{
    _process.setGroup(group);
    _process.setOutputLimit(0);
    _process.setTimeout(-1);
    return _process.run(toolProgram, signArguments());
}

bool Bsign::verify(ToolProcess::Group* group)
{
    _process.setGroup(group);
    _process.setOutputLimit(verificationOutputLimit);
    _process.setTimeout(verificationTimeout);
    return _process.run(toolProgram, verifyArguments());
}

Bsign::ReturnValue Bsign::returnValue() const
{
    return toReturnValue(exitStatus(), exitCode());
}

Bsign::ReturnValue Bsign::toReturnValue(QProcess::ExitStatus status, int exitCode)
{
    if (status != QProcess::NormalExit)
        return UnknownError;
    return toReturnValue(exitCode);
}

Bsign::SignMode Bsign::signMode(bool elf, bool xattr)
{
    if (elf && !xattr)
        return ElfOnly;
    if (xattr && !elf)
        return XattrOnly;
    return ElfAndXattr;
}

Bsign::ReturnValue Bsign::toReturnValue(int exitCode)
{
    switch (static_cast<unsigned>(exitCode)) {
    case NoError:
    case PermissionDenied:
    case FileNotFound:
    case NoMemory:
    case IsDirectory:
    case InvalidArgument:
    case TooManyOpenFiles:
    case FileBusy:
    case NoSpaceOnDevice:
    case NameTooLong:
    case NoHashFound:
    case NoSignatureFound:
    case BadHashFound:
    case BadSignatureFound:
    case UnsupportedFileType:
    case BadPassPhrase:
    case RewriteFailed:
        return static_cast<ReturnValue>(exitCode);
    default:
        return UnknownError;
    }
}

QString Bsign::returnValueText(const ReturnValue& value)
{
    switch (value) {
    case NoError:
        return tr("No error");
    case PermissionDenied:
        return tr("Permission denied");
    case FileNotFound:
        return tr("File not found");
    case NoMemory:
        return tr("No memory");
    case IsDirectory:
        return tr("Is directory");
    case InvalidArgument:
        return tr("Invalid argument");
    case TooManyOpenFiles:
        return tr("Too many open files");
    case FileBusy:
        return tr("File busy");
    case NoSpaceOnDevice:
        return tr("No space on device");
    case NameTooLong:
        return tr("Name too long");
    case NoHashFound:
        return tr("No hash found");
    case NoSignatureFound:
        return tr("No signature found");
    case BadHashFound:
        return tr("Bad hash found");
    case BadSignatureFound:
        return tr("Bad signature found");
    case UnsupportedFileType:
        return tr("Unsupported file type");
    case BadPassPhrase:
        return tr("Bad pass phrase");
    case RewriteFailed:
        return tr("Rewrite failed");
    case UnknownError:
        break;
    }
    return tr("Unknown error");
}

Bsign::VerificationResult Bsign::verificationResult() const
{
    return parseVerification(exitStatus(), _process.output());
}

Bsign::VerificationResult Bsign::parseVerification(QProcess::ExitStatus status,
                                                   const QByteArray& output)
{
    VerificationResult result;
    if (status == QProcess::CrashExit)
        return result;
    const QStringList lines
        = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const bool good = line.contains(QLatin1String("good"));
        if (line.contains(QLatin1String("xattr"))) {
            result.xattrGood = good;
            result.xattrLine = line;
        } else {
            result.elfGood = good;
            result.elfLine = line;
        }
    }
    return result;
}
