// qrtwizard: the program a user starts to recover files from a flash drive or memory card.

#include "core/Application.h"
#include "update/SignatureRefresh.h"
#include "wizard/WizardApplication.h"
#include "wizard/WizardStartup.h"
#include "wizard/WizardTexts.h"
#include "wizard/dmMainUI.h"
#include "wizard/fmMain.h"

int main(int argc, char** argv) {
    using namespace qrt;
    TWizardApplication app(argc, argv);
    InitWizardApplication();
    SetSignatureFolder(ChooseSignatureFolder());

    // The data module first: its creation sets the default output folder and refreshes the
    // signature database before any window is shown. The first form created after it is the main
    // window.
    TdmodMainUI dataModule;
    TformMain form(dataModule);
    form.show();
    return Application().Terminated() ? 0 : app.exec();
}
