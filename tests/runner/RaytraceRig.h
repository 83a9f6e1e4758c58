#pragma once
// A working folder "ZEPWork" in a temporary directory (the process's current directory while the rig
// lives), the real console with zepcmd changed into it, the two "Current Gem" panels and a runner over
// them. The ray tracer is a stand-in shell script named "Gemray" that answers with prepared files.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "runner/Runner.h"
#include "support/Process.h"
#include "app/ConsoleAdapter.h"
#include "merit/CurrentGemPanel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <memory>

namespace zep::test {

// A log of three lines (COS 8th and ISO 9th on the third), padded to `bytes`.
inline QByteArray gemrayLog(const QByteArray& thirdLine, int bytes = 240)
{
    return QByteArray("GemRay stand-in\r\nSRB.gem 57 facets\r\n" + thirdLine + "\r\n").leftJustified(bytes, 'x', true);
}

inline QByteArray gemrayLog(float iso, float cos, int bytes = 240)
{
    return gemrayLog("41.5 28 1.54 0 0 55.1 3.2 " + QByteArray::number(cos) + " " + QByteArray::number(iso), bytes);
}

// A raw image file: a lead byte, the 14400 pixels (raw order), a tail byte, cut or padded with zeros to `bytes`.
inline QByteArray rawImage(const std::function<uint8_t(int)>& pixel, int bytes = 14402)
{
    QByteArray raw(14402, '\0');
    raw[0] = char(0x5A);
    for (int i = 0; i < 14400; ++i)
        raw[1 + i] = char(pixel(i));
    raw.resize(bytes);
    return raw;
}

// Script lines answering with the image `raw` and the log `log`, each renamed into place (image first), as GemRay does.
inline QString answerWith(const QString& raw = "R.src", const QString& log = "log.src")
{
    return QString("cp %1 R.tmp && mv R.tmp R\ncp %2 L.tmp && mv L.tmp Gemray.log\n").arg(raw, log);
}

class RaytraceRig {
public:
    RaytraceRig()
    {
        root = QDir(tmp.path()).canonicalPath();
        QDir(root).mkdir("ZEPWork");
        QDir::setCurrent(root);
        shell.WorkDir = "ZEPWork";
        shell.WorkPath = "ZEPWork" + QString(QDir::separator());
        prefs.Tout = 15;
        job.olPav = 41.5f;
        job.olCrn = 28;
        BMP_Header(bitmaps);
        buildDiffHeader(bitmaps);
        invidx(images);

        if (!console.start(QStringLiteral(ZEP_BIN_DIR "/zepcmd"), root, Console::environment(1, work("") + "/")))
            qFatal("zepcmd did not start");
        port.paste("CD ZEPWork");
        if (!QTest::qWaitFor([&] { return console.outputText().endsWith(work("") + ">"); }, waitMs(10000)))
            qFatal("the console did not change into ZEPWork");

        window.resize(500, 500);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(optimizerPanel);
        layout->addWidget(mapperPanel);
        window.show();
        runner = std::make_unique<RaytraceRunner>(
            RunnerEnv{shell, prefs, job, images, bitmaps, AbortFlag, messages, port, {optimizerPanel, mapperPanel}});
    }

    ~RaytraceRig() { QDir::setCurrent(m_previousDir); }

    // A file of the working folder, absolute.
    QString work(const QString& name) const { return name.isEmpty() ? root + "/ZEPWork" : root + "/ZEPWork/" + name; }
    void put(const QString& name, const QByteArray& bytes) const { writeFileSafely(work(name), bytes); }
    QByteArray get(const QString& name) const { return readFileBytes(work(name)); }

    // The stand-in ray tracer: records its arguments in "calls.txt", then runs `body`.
    void standIn(const QString& body) const
    {
        const QString script = work("Gemray");
        put("Gemray", ("#!/bin/sh\necho \"$*\" >> calls.txt\n" + body).toLatin1());
        QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner);
    }
    QStringList calls() const
    {
        if (!fileExists(work("calls.txt")))
            return {};
        return QString::fromLatin1(get("calls.txt")).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir tmp;
    QString root;
    ShellValues shell;
    Preferences prefs;
    JobState job;
    ImageStore images;
    BitmapTemplates bitmaps;
    bool AbortFlag = false;
    RecordingSink messages;
    Console console;
    ConsoleAdapter port{console, prefs};
    QWidget window;
    CurrentGemPanel* optimizerPanel = new CurrentGemPanel; // both laid out in `window`
    CurrentGemPanel* mapperPanel = new CurrentGemPanel;
    std::unique_ptr<RaytraceRunner> runner;

private:
    QString m_previousDir = QDir::currentPath();
};

} // namespace zep::test
