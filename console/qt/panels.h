// The dialog's groups, built from the dialog's layout table
// (deve/dialog_layout.h): each control with its kind, caption and mnemonic,
// on a grid that follows the places the table gives in dialog units. The
// dialog's behaviour gives the controls their template states (enabled,
// shown) and input rules when it initialises.
#pragma once

#include "deve/dialog_layout.h"

#include <map>

class Controls;
class QFontMetrics;
class QWidget;

// One group's controls: a QGroupBox for a group with a frame, else a plain
// widget. `provided` holds widgets the skin made elsewhere, by identifier
// (the pictures panel's button); every other control is made here and
// registered in `controls`. An edit is about as wide as the table has it,
// in dialog units of `metrics`' font.
QWidget *buildGroup(Controls &controls, deve::ControlGroup group, const QFontMetrics &metrics,
                    const std::map<int, QWidget *> &provided = {});
