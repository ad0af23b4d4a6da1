#include "commandoutput.h"

#include <QJsonDocument>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (fd >= 0 && left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return;
        data += written;
        left -= written;
    }
}

const QByteArray clearLine = "\r\033[K";

} // namespace

CommandOutput::CommandOutput()
    : _out(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3))
    , _terminal(::isatty(STDERR_FILENO) == 1)
{
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

CommandOutput::~CommandOutput()
{
    clearProgress();
    if (_out >= 0)
        ::close(_out);
}

void CommandOutput::print(const QString& line)
{
    print(line.toUtf8());
}

void CommandOutput::print(const QByteArray& line)
{
    writeOut(line + '\n');
}

void CommandOutput::printJson(const QJsonObject& document)
{
    writeOut(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

void CommandOutput::error(const QString& text)
{
    message(QString(), text);
}

void CommandOutput::warning(const QString& text)
{
    message(tr("warning: "), text);
}

void CommandOutput::notice(const QString& text)
{
    message(QString(), text);
}

void CommandOutput::message(const QString& prefix, const QString& text)
{
    QByteArray lines;
    for (const QString& line : text.split(QLatin1Char('\n')))
        lines += "cova-digsig: " + (prefix + line).toUtf8() + '\n';
    writeError(lines);
}

int CommandOutput::terminalWidth() const
{
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void CommandOutput::showProgress(const QString& text)
{
    if (!_terminal)
        return;
    _progress = text.toUtf8();
    writeAll(STDERR_FILENO, clearLine + _progress);
}

void CommandOutput::clearProgress()
{
    if (_progress.isEmpty())
        return;
    writeAll(STDERR_FILENO, clearLine);
    _progress.clear();
}

// Standard output and standard error may be the same terminal: the progress line steps aside
// for every line written and comes back below it.
void CommandOutput::writeOut(const QByteArray& bytes)
{
    if (!_progress.isEmpty())
        writeAll(STDERR_FILENO, clearLine);
    writeAll(_out, bytes);
    if (!_progress.isEmpty())
        writeAll(STDERR_FILENO, _progress);
}

void CommandOutput::writeError(const QByteArray& bytes)
{
    writeAll(STDERR_FILENO, _progress.isEmpty() ? bytes : clearLine + bytes + _progress);
}
