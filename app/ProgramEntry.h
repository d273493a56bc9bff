#pragma once
#include <QString>

// The program's start-up order, with the application object already made: Qt's own texts in Russian
// (InstallQtTranslation), the application's icon (packaging/icons/ru.zemtar.Tuner.png, built in) for all
// windows, the tuner window (the main window), the information window created hidden, the message loop.
// Returns when the tuner window has closed, even while the information window is open; both windows are
// gone then.
int RunTunerProgram();

// Qt's own texts (the buttons of standard boxes, the tab bar's scroll buttons, the names screen readers
// say for them) in Russian: installs Qt's translation qtbase_ru.qm from the first folder that has it, the
// folder "translations" beside the program (where the Windows build ships it), then Qt's own translations
// folder. Returns the file loaded, or an empty string (the texts stay English). Call it after the
// application object is made and before any window; window thread only.
QString InstallQtTranslation();
