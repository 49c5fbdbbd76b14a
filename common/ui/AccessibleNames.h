#pragma once

class QWidget;

// Gives every edit, combo box and list below root that has no accessible name the
// text of the label it stands beside: the last label or check box before it, with
// a side label ("左", "右", ...) added when there is one. Screen readers read these
// names, and a combo box would otherwise be named after its current value.
void NameControlsAfterLabels(QWidget* root);

// Lets screen readers and tests see a combo box's accessible name as its name.
// Qt names a combo box after its current text on Linux and gives the label only
// as a relation; the current text stays its value. A tab bar's tabs report the
// focus only while the bar has it. Installed once per program.
void InstallComboBoxNames();
