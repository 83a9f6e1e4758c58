#pragma once
// The two windows of the design input: choosing a GemCAD design with its old
// angles (frmFileDLOG), and the gem's angles, limits, material and colour
// (frmAngDLOG). Each entry point shows its dialog modally and returns after
// it closed; results are left in the job and the exchange values.
#include "common/SharedState.h"

#include <QColor>
#include <QString>
#include <functional>

class QWidget;

namespace zep {

class MessageSink;
struct MaterialTable;

// Asks the user for a colour, starting from `preset`; an invalid colour when
// the user cancels.
using ColourPicker = std::function<QColor(const QColor& preset, QWidget* parent)>;

// The system colour chooser with the preset selected (Qt's own dialog, which
// always shows its custom-colour part).
QColor chooseColourWithDialog(const QColor& preset, QWidget* parent);

struct DesignEnv {
    JobState& job;
    DesignFileExchange& fd;
    WindowPositions& positions;
    const Preferences& prefs;
    const MaterialTable& materials;
    MessageSink& messages;
    QString workPath; // working folder with trailing separator; the working copy is workPath + "B"
    // How "Select Colour" asks for a colour; empty means chooseColourWithDialog.
    ColourPicker pickColour = {};
};

// frmFileDLOG: titled env.fd.FDTitle ("Select GemCAD File and Old Angles"
// when empty). Sets FDOK, FDDrv (always empty: no drive letters), FDDir,
// FDFile, FDPav and FDCrn as its OK and Cancel buttons decide.
void showDesignFileDialog(DesignEnv& env, QWidget* parent = nullptr);

// frmAngDLOG "Specify Angles and Materials": edits the job's start angles,
// limits, fix flags, RI source, material and colour.
void showAnglesDialog(DesignEnv& env, QWidget* parent = nullptr);

} // namespace zep
