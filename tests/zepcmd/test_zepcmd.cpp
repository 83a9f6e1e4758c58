// The console's command interpreter: line parsing, program lookup, and the real zepcmd fed through its input.
#include "zepcmd/CommandLine.h"
#include "zepcmd/Interpreter.h"
#include "zepcmd/ProgramLookup.h"
#include "support/Process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep::cmd;
using namespace zep::test;
using Kind = Command::Kind;

namespace {

const QString zepcmdPath = QStringLiteral(ZEP_BIN_DIR "/zepcmd");

// A program that can run: by default one that prints its arguments and the directory it runs in.
void writeProgram(const QString& path, const QByteArray& text = "#!/bin/sh\necho \"hello [$*] in $(pwd)\"\n")
{
    writeFile(path, text);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
}

// Runs zepcmd in `dir` on `input` until it ends; returns what it printed.
QString runZepcmd(const QString& dir, const QByteArray& input, const QString& pathPrefix = {})
{
    const QString path = pathPrefix + QDir::listSeparator() + qEnvironmentVariable("PATH");
    return QString::fromLocal8Bit(run(zepcmdPath, {}, dir, input, pathPrefix.isEmpty() ? QString() : "PATH", path).out);
}

} // namespace

class TestZepcmd : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> tmp;
    QString root; // each test's own folder, as the interpreter names it

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        root = QDir(tmp->path()).canonicalPath();
    }

    // What the runs below do not show: look-alikes of commands, labels, blank lines, CALL, quoting, any line end.
    void parsesCommandsAndFindsPrograms()
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
            QCOMPARE(std::tuple(cmd.kind, cmd.word, cmd.args), std::tuple(c.kind, QString::fromLatin1(c.word), c.args));
        }
        QCOMPARE(parseCommand("Cd\\").rest, QStringLiteral("\\"));
        QCOMPARE(batchLines("one\r\r\ntwo\r\nthree\nfour"), (QStringList{"one", "two", "three", "four"}));
        QVERIFY(batchLines("a\r\n\r\nb\r\n") == (QStringList{"a", "", "b"}) && batchLines("a\r\n\x1a garbage\r\n") == (QStringList{"a"}));
        // A command word with a folder, as ZEP's batch lines name programs: each name in any letter case, "\\" or
        // "/", ".." on the way; the exact case first; only what can run; nothing past a name that is no folder.
        QVERIFY(QDir(root).mkpath("Work/Tools"));
        const QString tools = root + "/Work/Tools/";
        writeProgram(tools + "Gemray.EXE");
        writeProgram(tools + "gemray.exe");
        writeFile(tools + "notes", "not a program");
        writeFile(tools + "Run.Bat", "echo run\n");
        writeFile(root + "/Work/plain.txt", "x");
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

    // CD in any case and form ("cd" alone prints it), REM, ECHO, and EXIT, which ends without waiting for the input.
    void builtInCommands()
    {
        QDir(root).mkdir("ZEPWork");
        const QString work = root + "/ZEPWork";
        // ".." takes away the name before it, as DOS does, even through a link; quotes go ("" is none, a lone " a name).
        QTemporaryDir far;
        QVERIFY(QFile::link(far.path(), root + "/far"));
        const Outcome o = run(zepcmdPath, {}, root,
                              "cd\nCD zepwork\ncd\ncd..\nChDir \"ZEPWork\"\ncd\ncd nowhere\ncd \"\ncd \"\"\ncd ..\ncd far/../zepwork\n"
                              "cd\nREM echo hidden\nECHO  shown twice\necho=equals\necho.\nECHO\necho OFF\necho\nEcho On\nexit 7\necho never\n");
        QCOMPARE(o.exitCode, 7);
        const QStringList out = QString::fromLocal8Bit(o.out).split(u'\n');
        const QStringList printed = out.filter(QRegularExpression('^' + QRegularExpression::escape(root) + "(/ZEPWork)?$"));
        QVERIFY(printed == (QStringList{root, work, work, work, work}) && out.contains(work + ">cd nowhere")); // the prompt shows the directory
        QVERIFY(out.contains("Invalid directory") && out.contains(" shown twice") && out.contains("equals") && !out.contains("echo hidden") && !out.contains("never"));
        const qsizetype dot = out.indexOf(QRegularExpression(".*>echo\\.$"));
        QVERIFY(dot >= 0 && out.value(dot + 1).isEmpty());
        // ECHO alone tells the state; while it is off no prompt is shown.
        const qsizetype on = out.indexOf(work + ">ECHO");
        QVERIFY2(on > 0 && out.mid(on + 1, 10) == (QStringList{"ECHO is on", "", work + ">echo OFF", "", "echo", "ECHO is off", "",
                                                               "Echo On", "", work + ">exit 7"}), qPrintable(out.mid(on).join(u'|')));
    }

    // Programs in the current directory or on the PATH, in any case; then a batch file, line by line.
    void runsProgramsAndBatchFiles()
    {
        QTemporaryDir bin;
        QDir(root).mkdir("ZEPWork");
        writeProgram(root + "/Hello.exe");
        writeProgram(bin.filePath("Where"));
        writeFile(root + "/data.txt", "x");
        // As ZEP writes it: the line, a carriage return, then CR LF.
        writeFile(root + "/ZEPWork/ZEP.BAT", "..\\hello from bat\r\r\necho second %1 100%%\r\r\n@ \r\r\ncd ..\r\r\necho third\r\n");
        writeFile(root + "/Quiet.bat", "@echo off\necho quiet\n");
        writeFile(root + "/ZEPWork/.bat", "echo nameless\n"); // a folder is no command, whatever it holds
        const QString text = runZepcmd(root, "HELLO a  b\nhello.EXE \"c d\"\nnosuchprogram 1\ndata.txt\ncd zepwork\nwhere x\n"
                                             "..\\hello\nzep.bat p1\ncd\nquiet\nrem after\nzepwork\\\n",
                                       bin.path());
        QVERIFY2(!text.contains(u'\r'), qPrintable(text));
        const QStringList out = text.split(u'\n');
        QCOMPARE(out.count("Bad command or file name"), 3);
        QVERIFY(!out.contains("nameless") && out.contains("hello [a b] in " + root) && out.contains("hello [c d] in " + root));
        QVERIFY(out.contains("hello [x] in " + root + "/ZEPWork"));   // found on PATH
        QVERIFY(out.contains("hello [] in " + root + "/ZEPWork"));    // relative path, any case
        const qsizetype hello = out.indexOf("hello [from bat] in " + root + "/ZEPWork");
        const qsizetype second = out.indexOf("second p1 100%"), third = out.indexOf("third");
        QVERIFY(hello >= 0 && hello < second && second < third && out.contains(root + "/ZEPWork>echo second p1 100%")); // shown with the prompt while echo is on
        const qsizetype cd = out.indexOf(root + ">cd", third); // the batch file's CD moved the interpreter; its "@" line was not shown
        QVERIFY(cd > third && out.value(cd + 1) == root && !text.contains(">@"));
        // ECHO OFF hides a batch file's lines but not the prompt after it.
        QVERIFY(out.contains("quiet") && !out.contains(root + ">echo quiet") && out.contains(root + ">rem after"));
        // A batch file that calls itself twice would run 2^32 lines: each command stops after its share of batch
        // lines. A line longer than the console takes is refused, not run or shown.
        writeFile(root + "/A.BAT", "a.bat\r\na.bat\r\n");
        writeFile(root + "/LONG.BAT", "echo " + QByteArray(MaxLineLength, 'x') + "\r\necho fine\r\n");
        const QByteArray longLine = "echo " + QByteArray(70000, 'y') + "\n";
        const QString runaway = runZepcmd(root, "a\na\necho after\n" + longLine + "long\necho done\n");
        const QStringList lines = runaway.split(u'\n');
        const QString stopped = QStringLiteral("More than %1 batch file lines in one command: stopped").arg(MaxBatchLines);
        QVERIFY(lines.count(stopped) == 2 && lines.count(root + ">a.bat") == 2 * MaxBatchLines); // each command has its own share
        QCOMPARE(lines.indexOf("Batch files nested too deeply") - lines.indexOf(root + ">a"), 33); // 32 deep, no more
        QVERIFY(lines.indexOf("after") > lines.lastIndexOf(stopped));
        const QString tooLong = QStringLiteral("The line is too long (more than %1 characters)").arg(MaxLineLength);
        QCOMPARE(runaway.count(tooLong), 2);
        QVERIFY(!runaway.contains("yyyy") && !runaway.contains("xxxx") && lines.contains("fine") && lines.contains("done"));
    }

    // A program that fails tells ZEP why in the file ZEPCMD_FAILED names: its exit status, a crash, or why it
    // could not start; the first reason stays, and a link standing there is never written through.
    void aFailureIsWrittenDown()
    {
        const QString err = root + "/Gemray.err";
        writeProgram(root + "/fails", "#!/bin/sh\nexit 3\n");
        writeProgram(root + "/crashes", "#!/bin/sh\nkill -SEGV $$\n");
        writeProgram(root + "/nointerpreter", "#!/nonexistent/sh\n");
        writeProgram(root + "/hello");
        const auto command = [&](const QByteArray& line) {
            return run(zepcmdPath, {}, root, line + '\n', "ZEPCMD_FAILED", err);
        };
        const auto reason = [&] { return QString::fromUtf8(readAll(err)); };
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
        const Outcome o = command("nointerpreter");
        QVERIFY2(reason().startsWith("Cannot run " + root + "/nointerpreter: ") && reason().count(u'\n') == 1, qPrintable(reason()));
        QVERIFY(QString::fromLocal8Bit(o.out).contains("Cannot run " + root + "/nointerpreter: ") && QFile::remove(err) && QFile::link(root + "/elsewhere", err));
        command("fails");
        QVERIFY(QFileInfo(err).isSymLink() && !QFile::exists(root + "/elsewhere"));
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::System).filter("tmp"), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestZepcmd)
#include "test_zepcmd.moc"
