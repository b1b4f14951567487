#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

class QNetworkReply;

namespace qrt {

// The small web view of the finish page. It shows HTML without running scripts: a document loaded
// from memory, or a page fetched over HTTP that replaces the document once it has arrived. A page
// that cannot be fetched leaves the document as it was. Links open in the user's browser.
//
// It takes no focus, accepts no drops, shows no context menu, no scroll bars and no frame, does not
// let the user select text, and never reads local files (pictures the page refers to stay empty).
class TSocialBrowser : public QTextBrowser {
    Q_OBJECT

public:
    explicit TSocialBrowser(QWidget* aParent = nullptr);

    // Shows aHtml at once; a navigation still under way is abandoned.
    void LoadFromString(const QString& aHtml);
    // Fetches aUrl; when it arrives its HTML becomes the document. NavigateComplete follows either way.
    void Navigate(const QUrl& aUrl);
    // The address of the last navigation.
    QUrl NavigatedUrl() const { return fUrl; }
    bool IsNavigating() const { return !fReply.isNull(); }

signals:
    // A navigation has ended; aLoaded tells whether the page arrived and is shown.
    void NavigateComplete(const QUrl& aUrl, bool aLoaded);

protected:
    QVariant loadResource(int aType, const QUrl& aName) override;

private:
    void Abandon();
    void Finished(QNetworkReply* aReply);

    QNetworkAccessManager fNetwork;
    QPointer<QNetworkReply> fReply;
    QUrl fUrl;
};

} // namespace qrt
