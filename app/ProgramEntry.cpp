#include "ProgramEntry.h"

#include <QApplication>
#include <QIcon>

#include "InfoUnit.h"
#include "U_FFTTuner.h"

int RunTunerProgram() {
    // Every window of the program shows the application's 16 x 16 icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ru.zemtar.Tuner.png")));
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
