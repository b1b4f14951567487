#include "wizard/ShellExec.h"

#include <QDesktopServices>
#include <QUrl>

namespace qrt {

namespace {

TShellHandler& CurrentShellHandler() {
    static TShellHandler handler;
    return handler;
}

void DesktopShell(const std::string& aVerb, const std::string& aTarget) {
    QString target = QString::fromStdString(aTarget);
    QUrl url = aVerb == "explore" ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    QDesktopServices::openUrl(url);
}

} // namespace

void ShellExecute(const std::string& aVerb, const std::string& aTarget) {
    auto& handler = CurrentShellHandler();
    if (handler)
        handler(aVerb, aTarget);
    else
        DesktopShell(aVerb, aTarget);
}

TShellHandler SetShellHandler(TShellHandler aHandler) {
    std::swap(CurrentShellHandler(), aHandler);
    return aHandler;
}

} // namespace qrt
