#pragma once

#include "bsign.h"

#include <QByteArray>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <sys/types.h>

// A file a signing run signs.
struct ListedFile
{
    QString path;
    // The canonical folder the file was found in; right before the tool starts, the path must
    // still lead through it, not through a link put in place of one of its folders since.
    QByteArray folder;
    // A selected symbolic link that the mode signs through: ELF signatures follow links.
    bool link = false;
};

// Expands a selection into the files a signing run signs, the way "find" walks a tree: each
// folder is read once, by descriptor, without following symbolic links, and a file's content
// is looked at only to tell ELF files. In every mode only regular files are listed; in
// ElfOnly mode only ELF files that are not object files ("*.o"). A selected path is followed
// when it is a symbolic link to a folder, and for ELF signatures also to a file.
class FileLister
{
public:
    enum class Problem { NameNotRepresentable, Missing, Unreadable };

    // Gets each file once (the same file reached through two selected paths is listed once);
    // returns false to end the listing.
    using FileSink = std::function<bool(ListedFile&&)>;
    // Gets every entry that is not listed because of a problem, with the system's reason text.
    using ProblemSink
        = std::function<void(const QString& path, Problem problem, const QString& reason)>;

    FileLister(Bsign::SignMode mode, FileSink fileFound, ProblemSink problemFound);

    // Lists the paths in order until done, until stop is set or until the sink refuses a file.
    void list(const QStringList& paths, const std::atomic<bool>& stop);

    // The canonical folder of a path (empty when it cannot be resolved), as ListedFile keeps it.
    static QByteArray canonicalFolder(const QByteArray& native);

private:
    struct Folder;

    void listSelected(const QString& path);
    void walk(const QByteArray& native, const QString& path);
    bool readEntry(std::vector<Folder>& folders);
    bool addFile(dev_t device, ino_t inode, ListedFile&& file);
    bool stopped() const;

    Bsign::SignMode _mode;
    FileSink _fileFound;
    ProblemSink _problemFound;
    const std::atomic<bool>* _stop = nullptr;
    bool _refused = false;
    // With one selected path, the inode number the folder gives is enough to tell two names of
    // one file apart; several selected paths may reach one file from both sides, and then every
    // file is looked up, since some file systems number their folder entries differently.
    bool _statEveryFile = false;
    QSet<QPair<quint64, quint64>> _seen;
};
