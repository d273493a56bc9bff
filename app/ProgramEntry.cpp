#include "ProgramEntry.h"

#include <QApplication>

#include "InfoUnit.h"
#include "U_FFTTuner.h"

int RunTunerProgram() {
    TunerForm = new TTunerForm();
    infoForm = new TinfoForm();
    QObject::connect(TunerForm, &TTunerForm::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    TunerForm->show();
    const int result = QApplication::exec();

    delete infoForm;
    infoForm = nullptr;
    delete TunerForm;
    TunerForm = nullptr;
    return result;
}
