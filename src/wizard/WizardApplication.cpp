#include "wizard/WizardApplication.h"

#include "core/Application.h"
#include "core/Exceptions.h"
#include "core/Hooks.h"

#include <QMessageBox>
#include <QPushButton>

namespace qrt {

TWizardApplication::TWizardApplication(int& aArgc, char** aArgv) : QApplication(aArgc, aArgv) {}

bool TWizardApplication::notify(QObject* aReceiver, QEvent* aEvent) {
    try {
        return QApplication::notify(aReceiver, aEvent);
    } catch (const EAbort&) {
        return false; // a silent abort: nothing to report
    } catch (const std::exception& e) {
        ShowException(e);
        return false;
    }
}

void TWizardApplication::ShowException(const std::exception& e) {
    HandleException(e);
    if (fBusy && fBusy()) return;
    MessageBox(e.what(), Application().Title, MB_OK | MB_ICONHAND);
}

int ShowQtMessageBox(QWidget* aOwner, const std::string& aText, const std::string& aCaption,
                     uint32_t aFlags) {
    QWidget* owner = aOwner ? aOwner : QApplication::activeWindow();
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromStdString(aCaption));
    box.setText(QString::fromStdString(aText));
    switch (aFlags & 0xF0) {
    case MB_ICONHAND:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONASTERISK:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    const bool yesNo = (aFlags & 0xF) == MB_YESNO;
    const bool second = (aFlags & 0xF00) == MB_DEFBUTTON2;
    if (yesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton(second ? no : yes);
        box.setEscapeButton(no);
    } else {
        box.setDefaultButton(box.addButton(QMessageBox::Ok));
    }
    if (aFlags & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    int result = box.exec();
    if (!yesNo) return IDOK;
    return result == QMessageBox::Yes ? IDYES : IDNO;
}

} // namespace qrt
