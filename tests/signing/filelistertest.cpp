#include "filelister.h"
#include "elffile.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class FileListerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;

    QString path(const QString& relative) const { return _dir.filePath(relative); }

    // The files listed, relative and sorted, a selected link marked, a wrong folder too; then
    // the problems.
    QStringList list(Bsign::SignMode mode, const QStringList& selected, int stopAfter = -1)
    {
        QStringList files;
        QStringList problems;
        std::atomic<bool> stop {false};
        const auto relative = [this](const QString& file) {
            return file.mid(_dir.path().size() + 1);
        };
        FileLister lister(
            mode,
            [&](ListedFile&& file) {
                // Two names of one file are listed once, under either name.
                files << relative(file.path).replace(QLatin1String("hardlink"), "program")
                        + (file.link ? " (link)" : "")
                        + (FileLister::canonicalFolder(QFile::encodeName(file.path)) == file.folder
                               ? ""
                               : " (wrong folder)");
                stop = files.size() == stopAfter;
                return true;
            },
            [&](const QString& file, FileLister::Problem problem, const QString&) {
                problems << relative(file) + ": "
                        + QStringList {"name", "missing", "unreadable"}[int(problem)];
            });
        QStringList absolute;
        for (const QString& entry : selected)
            absolute << path(entry);
        lister.list(absolute, stop);
        files.sort();
        return files + problems;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* name :
             {"a/program", "a/module.o", "a/module.O", "a/lib.so", "a/.hidden/tool", "a/b/c/deep"})
            QVERIFY(TestSupport::writeElf(path(QLatin1String(name))));
        const QPair<const char*, QByteArray> others[]
            = {{"a/magic", QByteArray::fromHex("7f454c46")},
               {"a/short", QByteArray::fromHex("7f454c")},
               {"a/empty", ""},
               {"a/script", "#!/bin/sh\n"}};
        for (const auto& other : others)
            QVERIFY(TestSupport::writeFile(path(QLatin1String(other.first)), other.second));
        const char* links[][2] = {
            {"a/program", "a/link"}, {"a/program", "p-link"}, {"a/b", "b-link"}, {"-", "dangling"}};
        for (const auto& link : links)
            QVERIFY(QFile::link(path(QLatin1String(link[0])), path(QLatin1String(link[1]))));
        QCOMPARE(::mkfifo(QFile::encodeName(path("a/fifo")).constData(), 0600), 0);
        QCOMPARE(::link(QFile::encodeName(path("a/program")).constData(),
                        QFile::encodeName(path("a/hardlink")).constData()),
                 0);
    }

    void listing_data()
    {
        QTest::addColumn<Bsign::SignMode>("mode");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("regular files; links and pipes not followed")
            << Bsign::XattrOnly << QStringList {"a"}
            << QStringList {"a/.hidden/tool", "a/b/c/deep", "a/empty",   "a/lib.so", "a/magic",
                            "a/module.O",     "a/module.o", "a/program", "a/script", "a/short"};
        QTest::newRow("ELF files that are not object files")
            << Bsign::ElfOnly << QStringList {"a"}
            << QStringList {"a/.hidden/tool", "a/b/c/deep", "a/lib.so",
                            "a/magic",        "a/module.O", "a/program"};
        QTest::newRow("each file once; a missing selection")
            << Bsign::ElfAndXattr << QStringList {"a/b", "a/b/c/deep", "a/b/c", "a/b", "gone"}
            << QStringList {"a/b/c/deep", "gone: missing"};
        QTest::newRow("selected links: to a folder followed, to a program not")
            << Bsign::ElfAndXattr << QStringList {"b-link", "p-link"}
            << QStringList {"b-link/c/deep"};
        QTest::newRow("selected link to a program, ELF")
            << Bsign::ElfOnly << QStringList {"p-link"} << QStringList {"p-link (link)"};
    }

    void listing()
    {
        QFETCH(Bsign::SignMode, mode);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, listed);
        QCOMPARE(list(mode, selected), listed);
    }

    // The check behind the file tree's filter tells ELF files as the walker does, and follows
    // links.
    void elfCheckAgreesWithTheListing()
    {
        const QStringList elf = list(Bsign::ElfOnly, {"a"});
        for (const QString& file : list(Bsign::XattrOnly, {"a"}))
            QVERIFY2(isElfFile(path(file)) == elf.contains(file), qPrintable(file));
        QVERIFY(isElfFile(path("a/link")));
        for (const char* file : {"a", "dangling", "gone"})
            QVERIFY2(!isElfFile(QFileInfo(path(QLatin1String(file)))), file);
        QCOMPARE(list(Bsign::XattrOnly, {"a"}, 2).size(), 2);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(FileListerTest)
#include "filelistertest.moc"
