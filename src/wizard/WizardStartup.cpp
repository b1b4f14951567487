#include "wizard/WizardStartup.h"

#include "core/Application.h"
#include "fat/FATRegistration.h"
#include "wizard/WizardTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QStandardPaths>

namespace qrt {

void InitWizardApplication() {
    QCoreApplication::setOrganizationName("Morvask");
    QCoreApplication::setApplicationName("QRTWizard");
    // Tahoma is the wizard's face; where it is missing, the closest humanist sans faces stand in.
    QFont::insertSubstitutions("Tahoma", {"Verdana", "DejaVu Sans", "Liberation Sans", "Noto Sans"});
    Application().Title = texts::AppTitle;
    Application().HelpFile = texts::HelpFile;
    RegisterFATFileSystems();
}

std::string WizardErrorLogFile() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) return {};
    return QDir(folder).filePath("ErrorLog.txt").toStdString();
}

} // namespace qrt
