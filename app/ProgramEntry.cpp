#include "ProgramEntry.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "InfoUnit.h"
#include "U_FFTTuner.h"

QString InstallQtTranslation() {
    const QString folders[] = {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QStringLiteral("qtbase_ru"), folder) && QCoreApplication::installTranslator(translator))
            return QDir(folder).filePath(QStringLiteral("qtbase_ru.qm"));
        delete translator;
    }
    return {};
}

int RunTunerProgram() {
    InstallQtTranslation();
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
