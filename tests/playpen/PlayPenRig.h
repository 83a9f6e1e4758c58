#pragma once
// The PlayPen over the real console and zepcmd: a raytrace rig, the values
// the PlayPen's dialogs use, the design SRB.gem in a folder of its own and a
// window opened on it.
#include "runner/RaytraceRig.h"
#include "support/Modal.h"

#include "design/Materials.h"
#include "playpen/PlayPenWindow.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace zep::test {

struct PlayPenRig : RaytraceRig {
    WindowPositions positions;
    MaterialTable materials = MaterialTable::standard();
    DesignFileExchange fd;
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    PlayPenValues values;
    PlayPenEnv env{RunnerEnv{shell, prefs, job, images, bitmaps, AbortFlag, messages, port, {}},
                   DesignEnv{job, fd, positions, prefs, materials, messages, shell.WorkPath},
                   DialogEnv{positions, prefs, messages, shell.WorkPath, gf, yn, fn},
                   values,
                   {},
                   {}};
    std::unique_ptr<PlayPenWindow> w;

    PlayPenRig()
    {
        RGBMap_Header(bitmaps);
        QDir(root).mkdir("designs");
        designs = root + "/designs/";
        copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), designs + "SRB.gem");
        job.fnam = designs + "SRB.gem";
        job.GemDir = designs;
        job.stPav = 41.5f;
        job.stCrn = 28;
        job.theRI = 1.54f;
        job.theDisp = 0.044f;
    }

    PlayPenWindow& open()
    {
        w = std::make_unique<PlayPenWindow>(env);
        w->show();
        return *w;
    }

    // The three images the stand-in writes ("R.src", "C.src", "I.src").
    void putImages(const QByteArray& raw)
    {
        for (const char* name : {"R.src", "C.src", "I.src"})
            put(name, raw);
    }
    // The stand-in writes the three images, then the log of `logChoice`.
    void standInImages(const QString& logChoice = "cp log.src L.tmp && mv L.tmp Gemray.log\n")
    {
        standIn("for f in R C I; do cp $f.src $f.tmp && mv $f.tmp $f; done\n" + logChoice);
    }

    void click(const char* name) { child<QAbstractButton>(w.get(), name)->click(); }
    void type(const char* box, const QString& text) { child<QLineEdit>(w.get(), box)->setText(text); }
    QString text(const char* box) { return child<QLineEdit>(w.get(), box)->text(); }
    bool enabled(const char* button) { return child<QAbstractButton>(w.get(), button)->isEnabled(); }

    QString designs;
};

} // namespace zep::test
