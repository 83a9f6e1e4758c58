#pragma once
// Plain values shared across ZEP's windows and routines. One instance of each
// is owned by the application object and handed out by reference.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace zep {

// The working environment set up at start-up.
struct ShellValues {
    QString WorkDir;         // "ZEPWork"
    QString WorkPath;        // WorkDir with a trailing separator
    double DosTask = 0;      // process id of the console's interpreter
    float StartTime = 0;     // seconds at the start of the current wait
    bool TimedOut = false;   // the ray tracer did not answer: no raytrace runs
    bool Interactive = false;// commands show their dialogs
};

// The preferences kept in "ZEPPrefs.txt": the five of every ZEP, and the
// ray tracer's thread count of this one.
struct Preferences {
    float ATol = 0.05f;
    QString DosPaste = QStringLiteral("% EP");
    float Tout = 15;
    bool DoBat = false;
    bool DoTips = true;
    // Threads for each of ZEP's raytraces; 0: one per core of the machine.
    // It reaches gemray when the console starts.
    int16_t Threads = 0;
    // The cutting tolerance in degrees (0 to 1): how far a cutter's angles
    // may miss. Every result tells its margin at it; with CutRobust the
    // optimizer searches for the angles whose worst case within it is best.
    float CutTol = 0.1f;
    bool CutRobust = false;
};

// One top and one left value (twips) per window, in the saved state's order.
struct WindowPositions {
    float TMain = 0, LMain = 0, TOpt = 0, LOpt = 0, TPlay = 0, LPlay = 0, TMFM = 0, LMFM = 0;
    float TGF = 0, LGF = 0, T4Num = 0, L4Num = 0, TAbout = 0, LAbout = 0, Tang = 0, Lang = 0;
    float TBMP = 0, LBMP = 0, TFile = 0, LFile = 0, TPMat = 0, LPMat = 0, TPrefs = 0, LPrefs = 0;
    float TTarg = 0, LTarg = 0, TTarload = 0, LTarload = 0, TTarsave = 0, LTarsave = 0;
    float TYesNo = 0, LYesNo = 0;

    struct Key {
        const char* name;
        float WindowPositions::*field;
    };
    // The 32 keys in file order.
    static const std::array<Key, 32>& keys();
};

inline const std::array<WindowPositions::Key, 32>& WindowPositions::keys()
{
    using W = WindowPositions;
    static const std::array<Key, 32> k{{
        {"TMain", &W::TMain}, {"LMain", &W::LMain}, {"TOpt", &W::TOpt}, {"LOpt", &W::LOpt},
        {"TPlay", &W::TPlay}, {"LPlay", &W::LPlay}, {"TMFM", &W::TMFM}, {"LMFM", &W::LMFM},
        {"TGF", &W::TGF}, {"LGF", &W::LGF}, {"T4Num", &W::T4Num}, {"L4Num", &W::L4Num},
        {"TAbout", &W::TAbout}, {"LAbout", &W::LAbout}, {"Tang", &W::Tang}, {"Lang", &W::Lang},
        {"TBMP", &W::TBMP}, {"LBMP", &W::LBMP}, {"TFile", &W::TFile}, {"LFile", &W::LFile},
        {"TPMat", &W::TPMat}, {"LPMat", &W::LPMat}, {"TPrefs", &W::TPrefs}, {"LPrefs", &W::LPrefs},
        {"TTarg", &W::TTarg}, {"LTarg", &W::LTarg}, {"TTarload", &W::TTarload},
        {"LTarload", &W::LTarload}, {"TTarsave", &W::TTarsave}, {"LTarsave", &W::LTarsave},
        {"TYesNo", &W::TYesNo}, {"LYesNo", &W::LYesNo},
    }};
    return k;
}

// The job held by the main window: design, angles, limits, material, colour
// and the last optimization result.
struct JobState {
    QString fnam;
    QString theMat;
    float theRI = 0;
    float theDisp = 0;
    int16_t theRCol = 255, theGCol = 255, theBCol = 255;
    float theStartMF = 0, theFinalMF = 0;
    float theFinalPav = 0, theFinalCrn = 0;
    float olPav = 0, olCrn = 0;
    float stPav = 0, stCrn = 0;
    float pStep = 0, cStep = 0;
    float minPav = 0, maxPav = 0, minCrn = 0, maxCrn = 0;
    bool fixPav = false, fixCrn = false;
    bool useFileRI = false, useSpecRI = false, useMatRI = false;
    // The density (g/cm3) typed beside a specified index; 0: none given. A
    // material of the table brings its own.
    float theDensity = 0;
    int16_t once = 0;
    QString TargsFile;
    QString GemDir;          // the chosen design's folder with a trailing separator
    // What the result was computed for (optimize/ResultOwner.h); empty: none.
    QByteArray theResultFor;
    // What the result can lose: the lowest merit function within ±theMarginTol
    // of its angles, and where it lies. theMarginKnown false: not raytraced.
    bool theMarginKnown = false;
    float theMarginTol = 0, theMarginWorst = 0, theMarginPav = 0, theMarginCrn = 0;
};

// Exchange values of the design file dialog (kept between openings).
struct DesignFileExchange {
    QString FDDrv, FDDir, FDFile, FDTitle;
    float FDPav = 0, FDCrn = 0;
    bool FDOK = false;
};

} // namespace zep
