#include "filelister.h"
#include "elffile.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// Paths are relative to the tree, which is the current folder.
class FileListerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;

    // The files listed, sorted, a selected link marked, a wrong folder too; then the problems.
    static QStringList list(Bsign::SignMode mode, const QStringList& selected, int stopAfter = -1)
    {
        QStringList files, problems;
        std::atomic<bool> stop {false};
        FileLister lister(
            mode,
            [&](ListedFile&& file) {
                // Two names of one file are listed once, under either name.
                files << QString(file.path).replace(QLatin1String("hardlink"), "program")
                        + (file.link ? " (link)" : "")
                        + (FileLister::canonicalFolder(QFile::encodeName(file.path)) == file.folder
                               ? ""
                               : " (wrong folder)");
                stop = files.size() == stopAfter;
                return true;
            },
            [&](const QString& file, FileLister::Problem problem, const QString&) {
                problems << file + ": "
                        + QStringList {"name", "missing", "unreadable"}[int(problem)];
            });
        lister.list(selected, stop);
        files.sort();
        return files + problems;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(_dir.path()));
        for (const char* name :
             {"a/program", "a/module.o", "a/module.O", "a/.hidden/tool", "a/b/c/deep"})
            QVERIFY(TestSupport::writeElf(QLatin1String(name)));
        // The magic alone makes an ELF file; one byte less does not.
        QVERIFY(TestSupport::writeFile("a/magic", QByteArray::fromHex("7f454c46")));
        QVERIFY(TestSupport::writeFile("a/short", QByteArray::fromHex("7f454c")));
        const char* links[][2]
            = {{"program", "a/link"}, {"a/program", "p-link"}, {"a/b", "b-link"}};
        for (const auto& link : links)
            QCOMPARE(::symlink(link[0], link[1]), 0);
        QCOMPARE(::mkfifo("a/fifo", 0600), 0);
        QCOMPARE(::link("a/program", "a/hardlink"), 0);
    }

    void listing_data()
    {
        QTest::addColumn<Bsign::SignMode>("mode");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("regular files; links and pipes not followed")
            << Bsign::XattrOnly << QStringList {"a"}
            << QStringList {"a/.hidden/tool", "a/b/c/deep", "a/magic", "a/module.O",
                            "a/module.o",     "a/program",  "a/short"};
        QTest::newRow("ELF files that are not object files")
            << Bsign::ElfOnly << QStringList {"a"}
            << QStringList {"a/.hidden/tool", "a/b/c/deep", "a/magic", "a/module.O", "a/program"};
        QTest::newRow("each file once; a missing selection; no link to a program")
            << Bsign::ElfAndXattr
            << QStringList {"a/b", "a/b/c/deep", "a/b/c", "a/b", "gone", "p-link"}
            << QStringList {"a/b/c/deep", "gone: missing"};
        QTest::newRow("selected links followed, to a program for ELF signatures")
            << Bsign::ElfOnly << QStringList {"b-link", "p-link"}
            << QStringList {"b-link/c/deep", "p-link (link)"};
    }

    void listing()
    {
        QFETCH(Bsign::SignMode, mode);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, listed);
        QCOMPARE(list(mode, selected), listed);
        // A stop ends the listing at once, also within a folder.
        QCOMPARE(list(mode, selected, 1).size(), 1);
        // The check behind the file tree's filter tells ELF files as the walker does.
        if (mode == Bsign::ElfOnly)
            for (const QString& file : list(Bsign::XattrOnly, selected))
                QVERIFY2(isElfFile(file) == listed.contains(file), qPrintable(file));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(FileListerTest)
#include "filelistertest.moc"
