#pragma once

#include <QApplication>

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace qrt {

// The wizard's QApplication. It is the application's default exception handling: an exception
// that leaves an event handler is reported to the crash reporter and, unless a recovery run is in
// progress, shown in an error box, after which the program goes on (as the original runtime did).
class TWizardApplication : public QApplication {
    Q_OBJECT

public:
    TWizardApplication(int& aArgc, char** aArgv);

    bool notify(QObject* aReceiver, QEvent* aEvent) override;

    // Tells whether a run is in progress (no box may interrupt it then).
    void SetBusyQuery(std::function<bool()> aBusy) { fBusy = std::move(aBusy); }
    // Shows an escaped exception: reported, and boxed when no run is in progress.
    void ShowException(const std::exception& e);

private:
    std::function<bool()> fBusy;
};

// A Qt message box for the MessageBox hook of the core: text, caption, icon, Yes/No or OK buttons,
// the default button and the topmost flag come from the flags; the box is owned by aOwner (the
// main form) when given, else by the active window. Returns IDOK, IDYES or IDNO.
int ShowQtMessageBox(QWidget* aOwner, const std::string& aText, const std::string& aCaption, uint32_t aFlags);

} // namespace qrt
