// The console's command interpreter: line parsing and program lookup, and the
// real zepcmd program fed through its standard input.
#include "zepcmd/CommandLine.h"
#include "zepcmd/Interpreter.h"
#include "zepcmd/ProgramLookup.h"
#include "support/Process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep::cmd;
using Kind = Command::Kind;

namespace {

const QString zepcmdPath = QStringLiteral(ZEP_BIN_DIR "/zepcmd");

using zep::test::writeFile;

// A program that prints its arguments and the directory it runs in.
void writeHello(const QString& path)
{
    writeFile(path, "#!/bin/sh\necho \"hello [$*] in $(pwd)\"\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
}

// Runs zepcmd in `dir` on `input` until it ends; returns what it printed.
QString runZepcmd(const QString& dir, const QByteArray& input, const QString& pathPrefix = {})
{
    const QString path = pathPrefix + QDir::listSeparator() + qEnvironmentVariable("PATH");
    return QString::fromLocal8Bit(
        zep::test::run(zepcmdPath, {}, dir, input, pathPrefix.isEmpty() ? QString() : "PATH", path).out);
}

QStringList linesOf(const QString& output) { return output.split(u'\n'); }
QString canonical(const QString& path) { return QDir(path).canonicalPath(); }

} // namespace

class TestZepcmd : public QObject {
    Q_OBJECT
private slots:
    // What the runs below do not show: words that only start like a command,
    // labels, blank lines, CALL and the quoting of arguments.
    void parsesCommands()
    {
        const struct {
            const char* line;
            Kind kind;
            const char* word;
            QStringList args;
        } cases[] = {
            {"cdrecord x", Kind::Program, "cdrecord", {"x"}}, {"remove", Kind::Program, "remove", {}},
            {"Cd\\", Kind::ChangeDir, "", {}}, {":again", Kind::Label, "", {}}, {"  \t ", Kind::Empty, "", {}},
            {"call zep.bat one", Kind::Call, "zep.bat", {"one"}},
            {"x \"my design.gem\" \"\"", Kind::Program, "x", {"my design.gem", ""}},
        };
        for (const auto& c : cases) {
            const Command cmd = parseCommand(QString::fromLatin1(c.line));
            QCOMPARE(cmd.kind, c.kind);
            QCOMPARE(cmd.word, QString::fromLatin1(c.word));
            QCOMPARE(cmd.args, c.args);
        }
        QCOMPARE(parseCommand("Cd\\").rest, QStringLiteral("\\"));
    }

    void readsBatchLinesWithAnyLineEnd()
    {
        QCOMPARE(batchLines("one\r\r\ntwo\r\nthree\nfour"),
                 (QStringList{"one", "two", "three", "four"}));
        QCOMPARE(batchLines("a\r\n\r\nb\r\n"), (QStringList{"a", "", "b"}));
        QCOMPARE(batchLines("a\r\n\x1a garbage\r\n"), (QStringList{"a"}));
    }

    // CD in any case and form ("cd" alone prints the directory), REM, ECHO,
    // and EXIT, which ends the interpreter without waiting for the end of its
    // input.
    void builtInCommands()
    {
        QTemporaryDir tmp;
        const QString root = canonical(tmp.path());
        QDir(root).mkdir("ZEPWork");
        const QString work = root + "/ZEPWork";
        // ".." takes away the name before it, as DOS does, even where that
        // name is a link to a folder elsewhere.
        QTemporaryDir far;
        QVERIFY(QFile::link(far.path(), root + "/far"));
        const zep::test::Outcome o = zep::test::run(zepcmdPath, {}, root,
                                                    "cd\nCD zepwork\ncd\ncd..\nChDir ZEPWork\ncd\ncd nowhere\ncd\n"
                                                    "cd ..\ncd far/../zepwork\ncd\n"
                                                    "REM echo hidden\nECHO  shown twice\necho.\nexit 7\necho never\n");
        QCOMPARE(o.exitCode, 7);
        const QStringList out = linesOf(QString::fromLocal8Bit(o.out));
        const QStringList printed = out.filter(QRegularExpression('^' + QRegularExpression::escape(root) + "(/ZEPWork)?$"));
        QCOMPARE(printed, (QStringList{root, work, work, work, work}));
        QVERIFY(out.contains(work + ">cd nowhere")); // the prompt shows the directory
        QVERIFY(out.contains("Invalid directory"));
        QVERIFY(out.contains(" shown twice"));
        QVERIFY(!out.contains("echo hidden") && !out.contains("never"));
        const qsizetype dot = out.indexOf(QRegularExpression(".*>echo\\.$"));
        QVERIFY(dot >= 0);
        QCOMPARE(out.value(dot + 1), QString());
    }

    // Programs in the current directory or on the PATH, in any case; then a
    // batch file, line by line.
    void runsProgramsAndBatchFiles()
    {
        QTemporaryDir tmp;
        QTemporaryDir bin;
        const QString root = canonical(tmp.path());
        QDir(root).mkdir("ZEPWork");
        writeHello(root + "/Hello.exe");
        writeHello(bin.filePath("Where"));
        writeFile(root + "/data.txt", "x");
        // As ZEP writes it: the line, a carriage return, then CR LF.
        writeFile(root + "/ZEPWork/ZEP.BAT", "..\\hello from bat\r\r\n"
                                             "echo second %1\r\r\n"
                                             "cd ..\r\r\n"
                                             "echo third\r\n");
        writeFile(root + "/Quiet.bat", "@echo off\necho quiet\n");
        writeFile(root + "/ZEPWork/.bat", "echo nameless\n"); // a folder is no command, whatever it holds

        const QString text = runZepcmd(root, "HELLO a  b\nhello.EXE \"c d\"\nnosuchprogram 1\ndata.txt\ncd zepwork\nwhere x\n"
                                             "..\\hello\nzep.bat p1\ncd\nquiet\nrem after\nzepwork\\\n",
                                       bin.path());
        QVERIFY2(!text.contains(u'\r'), qPrintable(text));
        const QStringList out = linesOf(text);
        QCOMPARE(out.count("Bad command or file name"), 3);
        QVERIFY(!out.contains("nameless"));
        QVERIFY(out.contains("hello [a b] in " + root));
        QVERIFY(out.contains("hello [c d] in " + root));
        QVERIFY(out.contains("hello [x] in " + root + "/ZEPWork"));   // found on PATH
        QVERIFY(out.contains("hello [] in " + root + "/ZEPWork"));    // relative path, any case

        const qsizetype hello = out.indexOf("hello [from bat] in " + root + "/ZEPWork");
        const qsizetype second = out.indexOf("second p1");
        const qsizetype third = out.indexOf("third");
        QVERIFY(hello >= 0);
        QVERIFY(hello < second && second < third);
        // Batch lines are shown with the prompt while echo is on.
        QVERIFY(out.contains(root + "/ZEPWork>echo second p1"));
        // The batch file's CD changed the interpreter's own directory.
        const qsizetype cd = out.indexOf(root + ">cd", third);
        QVERIFY(cd > third);
        QCOMPARE(out.value(cd + 1), root);
        // ECHO OFF hides a batch file's lines but not the prompt after it.
        QVERIFY(out.contains("quiet"));
        QVERIFY(!out.contains(root + ">echo quiet"));
        QVERIFY(out.contains(root + ">rem after"));
    }

    // A command word with a folder, as ZEP's batch lines name programs: each
    // part in any letter case, "\\" or "/", ".." on the way; the exact case
    // first; only what can run; and nothing for a part that is no folder.
    void findsProgramsAlongAPath()
    {
        QTemporaryDir tmp;
        const QString root = canonical(tmp.path());
        QVERIFY(QDir(root).mkpath("Work/Tools"));
        writeHello(root + "/Work/Tools/Gemray.EXE");
        writeHello(root + "/Work/Tools/gemray.exe");
        writeFile(root + "/Work/Tools/notes", "not a program");
        writeFile(root + "/Work/Tools/Run.Bat", "echo run\n");
        writeFile(root + "/Work/plain.txt", "x");
        const QString tools = root + "/Work/Tools/";
        QCOMPARE(findProgram("WORK\\TOOLS\\run", root, {}), tools + "Run.Bat");
        QCOMPARE(findProgram("work/tools/gemray.exe", root, {}), tools + "gemray.exe"); // the exact case wins
        QCOMPARE(findProgram("work/tools/Gemray.EXE", root, {}), tools + "Gemray.EXE");
        QCOMPARE(findProgram("..\\Work\\.\\tools\\run", root + "/Work", {}), tools + "Run.Bat");
        QCOMPARE(findProgram(root + "/WORK/Tools/RUN.BAT", "/", {}), tools + "Run.Bat");
        for (const QString& nothing : {QString("work\\tools\\notes"), QString("work\\nowhere\\gemray"),
                                       QString("work\\plain.txt\\gemray"), QString("work\\tools\\"), QString()})
            QCOMPARE(findProgram(nothing, root, {}), QString());
        // A plain word: here, then along the PATH, past what is no folder.
        const QString onPath = findProgram("GEMRAY", root, root + "/Work/plain.txt:" + root + "/none:" + root + "/Work/Tools");
        QVERIFY2(onPath.startsWith(tools + "gemray.exe", Qt::CaseInsensitive), qPrintable(onPath));
        QCOMPARE(findProgram("gemray", root, root + "/Work"), QString());
        QCOMPARE(resolvePath(root, "work\\TOOLS\\..\\plain.TXT"), root + "/Work/plain.txt");
        QCOMPARE(resolvePath(root, "work/tools/missing"), QString());
    }

    // A program that fails tells ZEP why in the file ZEPCMD_FAILED names:
    // its exit status, a crash, or why it could not start; the first reason
    // stays, and a link standing there is never written through.
    void aFailureIsWrittenDown()
    {
        QTemporaryDir tmp;
        const QString root = canonical(tmp.path()), err = root + "/Gemray.err";
        const auto script = [&](const char* name, const QByteArray& text) {
            writeFile(root + '/' + name, text);
            QFile::setPermissions(root + '/' + name, QFile::permissions(root + '/' + name) | QFile::ExeOwner);
        };
        script("fails", "#!/bin/sh\nexit 3\n");
        script("crashes", "#!/bin/sh\nkill -SEGV $$\n");
        script("nointerpreter", "#!/nonexistent/sh\n");
        writeHello(root + "/hello");
        const auto command = [&](const QByteArray& line) {
            return zep::test::run(zepcmdPath, {}, root, line + '\n', "ZEPCMD_FAILED", err);
        };
        const auto reason = [&] { return QString::fromUtf8(zep::test::readAll(err)); };

        command("hello");
        QVERIFY(!QFile::exists(err));
        command("fails");
        QCOMPARE(reason(), QStringLiteral("fails ended with exit status 3\n"));
        command("crashes");
        QCOMPARE(reason(), QStringLiteral("fails ended with exit status 3\n"));
        QFile::remove(err);
        command("crashes");
        QCOMPARE(reason(), QStringLiteral("crashes crashed\n"));
        QFile::remove(err);
        const zep::test::Outcome o = command("nointerpreter");
        QVERIFY2(reason().startsWith("Cannot run " + root + "/nointerpreter: ") && reason().count(u'\n') == 1, qPrintable(reason()));
        QVERIFY(QString::fromLocal8Bit(o.out).contains("Cannot run " + root + "/nointerpreter: "));
        QFile::remove(err);
        QVERIFY(QFile::link(root + "/elsewhere", err));
        command("fails");
        QVERIFY(QFileInfo(err).isSymLink() && !QFile::exists(root + "/elsewhere"));
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::System).filter("tmp"), QStringList());
    }

    // A batch file that calls itself twice would run 2^32 lines: each command
    // stops after its share of batch lines. A line longer than the console takes
    // is refused, not run or shown.
    void stopsRunawayInput()
    {
        QTemporaryDir tmp;
        const QString root = canonical(tmp.path());
        writeFile(root + "/A.BAT", "a.bat\r\na.bat\r\n");
        writeFile(root + "/LONG.BAT", "echo " + QByteArray(MaxLineLength, 'x') + "\r\necho fine\r\n");
        const QByteArray longLine = "echo " + QByteArray(70000, 'y') + "\n";
        const QString text = runZepcmd(root, "a\na\necho after\n" + longLine + "long\necho done\n");
        const QStringList out = linesOf(text);
        const QString stopped = QStringLiteral("More than %1 batch file lines in one command: stopped").arg(MaxBatchLines);
        QCOMPARE(out.count(stopped), 2); // each command has its own share
        QCOMPARE(out.count(root + ">a.bat"), 2 * MaxBatchLines);
        QVERIFY(out.indexOf("after") > out.lastIndexOf(stopped));
        const QString tooLong = QStringLiteral("The line is too long (more than %1 characters)").arg(MaxLineLength);
        QCOMPARE(text.count(tooLong), 2);
        QVERIFY(!text.contains("yyyy") && !text.contains("xxxx"));
        QVERIFY(out.contains("fine") && out.contains("done"));
    }
};

QTEST_GUILESS_MAIN(TestZepcmd)
#include "test_zepcmd.moc"
