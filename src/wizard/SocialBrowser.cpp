#include "wizard/SocialBrowser.h"

#include "wizard/ShellExec.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

namespace qrt {

namespace {

constexpr int kTransferTimeoutMs = 20000;
constexpr qint64 kMaxPageBytes = 1 << 20; // a page larger than this is not the maker's small page

} // namespace

TSocialBrowser::TSocialBrowser(QWidget* aParent) : QTextBrowser(aParent) {
    setFocusPolicy(Qt::NoFocus);
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& aUrl) {
        if (aUrl.scheme() == "http" || aUrl.scheme() == "https")
            ShellExecute("open", aUrl.toString().toStdString());
    });
}

void TSocialBrowser::Abandon() {
    if (!fReply) return;
    QNetworkReply* reply = fReply;
    fReply.clear();
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void TSocialBrowser::LoadFromString(const QString& aHtml) {
    Abandon();
    setHtml(aHtml);
}

void TSocialBrowser::Navigate(const QUrl& aUrl) {
    Abandon();
    fUrl = aUrl;
    QNetworkRequest request(aUrl);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = fNetwork.get(request);
    fReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { Finished(reply); });
}

void TSocialBrowser::Finished(QNetworkReply* aReply) {
    if (aReply != fReply) return; // abandoned
    fReply.clear();
    aReply->deleteLater();
    bool loaded = false;
    if (aReply->error() == QNetworkReply::NoError) {
        QByteArray body = aReply->read(kMaxPageBytes);
        auto encoding = QStringConverter::encodingForHtml(body);
        QStringDecoder decode(encoding.value_or(QStringConverter::Utf8));
        setHtml(decode(body));
        loaded = true;
    }
    emit NavigateComplete(fUrl, loaded);
}

QVariant TSocialBrowser::loadResource(int, const QUrl&) {
    return {};
}

} // namespace qrt
