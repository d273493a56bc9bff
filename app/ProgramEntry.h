#pragma once
// The program's start-up order, with the application object already made: the application's icon
// (packaging/icons/ru.zemtar.Tuner.png, built in) for all windows, the tuner window (the
// main window), the information window created hidden, the message loop. Returns when the tuner
// window has closed, even while the information window is open; both windows are gone then.
int RunTunerProgram();
