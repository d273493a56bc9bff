// Program entry of the tuner.
#include <QApplication>

#include "ProgramEntry.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    return RunTunerProgram();
}
