#include "filelister.h"
#include "testsupport.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray elf()
{
    return TestSupport::readFile(QStringLiteral("/bin/true"));
}

struct Listing
{
    QStringList files; // relative to the tree, sorted
    QStringList links; // files listed as selected links
    QStringList problems; // "relative path: kind", sorted
};

} // namespace

class FileListerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;
    QString _tree;

    QString path(const QString& relative) const { return _tree + QLatin1Char('/') + relative; }

    QString relative(const QString& absolute) const
    {
        return absolute.startsWith(_tree + QLatin1Char('/')) ? absolute.mid(_tree.size() + 1)
                                                             : absolute;
    }

    Listing list(Bsign::SignMode mode, const QStringList& selected, int stopAfter = -1)
    {
        Listing listing;
        std::atomic<bool> stop {false};
        FileLister lister(
            mode,
            [&](ListedFile&& file) {
                listing.files << relative(file.path);
                if (file.link)
                    listing.links << relative(file.path);
                if (FileLister::canonicalFolder(QFile::encodeName(file.path)) != file.folder)
                    listing.problems << relative(file.path) + QStringLiteral(": wrong folder");
                if (listing.files.size() == stopAfter)
                    stop = true;
                return true;
            },
            [&](const QString& file, FileLister::Problem problem, const QString&) {
                const char* kinds[] = {"name", "missing", "unreadable"};
                listing.problems << relative(file) + QStringLiteral(": ") + kinds[int(problem)];
            });
        QStringList absolute;
        for (const QString& entry : selected)
            absolute << path(entry);
        lister.list(absolute, stop);
        listing.files.sort();
        listing.problems.sort();
        return listing;
    }

private Q_SLOTS:
    void initTestCase()
    {
        _tree = _dir.filePath(QStringLiteral("tree"));
        for (const char* name :
             {"a/program", "a/module.o", "a/module.O", "a/lib.so", "a/.hidden/tool", "a/b/c/deep"})
            QVERIFY(TestSupport::writeFile(path(QLatin1String(name)), elf()));
        QVERIFY(TestSupport::writeFile(path(QStringLiteral("a/empty")), ""));
        QVERIFY(TestSupport::writeFile(path(QStringLiteral("a/short")),
                                       "\x7f"
                                       "EL"));
        QVERIFY(TestSupport::writeFile(path(QStringLiteral("a/script")), "#!/bin/sh\n"));
        QVERIFY(QFile::link(path(QStringLiteral("a/program")), path(QStringLiteral("a/link"))));
        QVERIFY(QFile::link(path(QStringLiteral("a/b")), path(QStringLiteral("a/dirlink"))));
        QVERIFY(QFile::link(path(QStringLiteral("a/b")), path(QStringLiteral("b-link"))));
        QVERIFY(QFile::link(path(QStringLiteral("a/program")), path(QStringLiteral("p-link"))));
        QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("a/fifo"))).constData(), 0600), 0);
        QCOMPARE(::link(QFile::encodeName(path(QStringLiteral("a/program"))).constData(),
                        QFile::encodeName(path(QStringLiteral("a/hardlink"))).constData()),
                 0);
        // Names that are not valid UTF-8 cannot be named to the tool.
        QVERIFY(TestSupport::writeFile(path(QStringLiteral("odd/plain")), "x"));
        const QByteArray odd = QFile::encodeName(_tree) + "/odd/";
        QCOMPARE(::mkdir((odd + "dir\xff").constData(), 0755), 0);
        for (const QByteArray& name : {odd + "caf\xe9", odd + "file\xfe", odd + "dir\xff/inside"}) {
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
    }

    // QTemporaryDir cannot remove names it cannot decode.
    void cleanupTestCase()
    {
        const QByteArray odd = QFile::encodeName(_tree) + "/odd/";
        for (const QByteArray& name : {odd + "caf\xe9", odd + "file\xfe", odd + "dir\xff/inside"})
            ::unlink(name.constData());
        ::rmdir((odd + "dir\xff").constData());
    }

    void listing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("problems");
        const QStringList regular {"a/.hidden/tool", "a/b/c/deep", "a/empty",
                                   "a/lib.so",       "a/module.O", "a/module.o",
                                   "a/program",      "a/script",   "a/short"};
        const QStringList elfFiles {"a/.hidden/tool", "a/b/c/deep", "a/lib.so", "a/module.O",
                                    "a/program"};
        QTest::newRow("regular files, links not followed")
            << int(Bsign::XattrOnly) << QStringList {"a"} << regular << QStringList()
            << QStringList();
        QTest::newRow("ELF files only") << int(Bsign::ElfOnly) << QStringList {"a"} << elfFiles
                                        << QStringList() << QStringList();
        QTest::newRow("each file once")
            << int(Bsign::ElfAndXattr) << QStringList {"a/b", "a/b/c/deep", "a/b/c", "a/b"}
            << QStringList {"a/b/c/deep"} << QStringList() << QStringList();
        QTest::newRow("selected link to a folder is followed")
            << int(Bsign::XattrOnly) << QStringList {"b-link"} << QStringList {"b-link/c/deep"}
            << QStringList() << QStringList();
        QTest::newRow("selected link to a program, ELF")
            << int(Bsign::ElfOnly) << QStringList {"p-link"} << QStringList {"p-link"}
            << QStringList {"p-link"} << QStringList();
        QTest::newRow("selected link to a program, xattr")
            << int(Bsign::ElfAndXattr) << QStringList {"p-link"} << QStringList() << QStringList()
            << QStringList();
        QTest::newRow("missing selection")
            << int(Bsign::XattrOnly) << QStringList {"gone", "a/script"} << QStringList {"a/script"}
            << QStringList() << QStringList {"gone: missing"};
        QTest::newRow("names that cannot be represented")
            << int(Bsign::XattrOnly) << QStringList {"odd"} << QStringList {"odd/plain"}
            << QStringList()
            << QStringList {QFile::decodeName("odd/caf\xe9: name"),
                            QFile::decodeName("odd/dir\xff: name"),
                            QFile::decodeName("odd/file\xfe: name")};
    }

    void listing()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, files);
        QFETCH(QStringList, links);
        QFETCH(QStringList, problems);
        Listing listing = list(Bsign::SignMode(mode), selected);
        // Two names of one file are listed once, under either name.
        if (listing.files.removeAll(QStringLiteral("a/hardlink")) == 1)
            listing.files << QStringLiteral("a/program");
        listing.files.sort();
        QCOMPARE(listing.files, files);
        QCOMPARE(listing.links, links);
        QCOMPARE(listing.problems, problems);
    }

    void stopEndsTheListing()
    {
        const Listing listing = list(Bsign::XattrOnly, {QStringLiteral("a")}, 2);
        QCOMPARE(listing.files.size(), 2);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(FileListerTest)
#include "filelistertest.moc"
