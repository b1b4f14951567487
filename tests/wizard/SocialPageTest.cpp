#include "WizardTestSupport.h"

#include "core/Ticks.h"
#include "wizard/MakerSite.h"
#include "wizard/SocialBrowser.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <map>

namespace qrt::test {
namespace {

// A small HTTP server on the loopback interface that answers GET requests from a table of pages
// (404 for the rest) and counts the requests per path.
class PageServer {
public:
    explicit PageServer(std::map<std::string, std::string> aPages) : fPages(std::move(aPages)) {
        EXPECT_TRUE(fServer.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&fServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = fServer.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(fServer.serverPort()); }
    int Requests(const std::string& aPath) const { return fRequests.count(aPath) ? fRequests.at(aPath) : 0; }

private:
    void Serve(QTcpSocket* aSocket) {
        QByteArray& buffer = fBuffers[aSocket];
        buffer += aSocket->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        std::string path = buffer.split(' ').value(1).toStdString();
        fBuffers.erase(aSocket);
        ++fRequests[path];
        auto page = fPages.find(path);
        std::string body = page != fPages.end() ? page->second : "<html><body>Not found</body></html>";
        std::string status = page != fPages.end() ? "200 OK" : "404 Not Found";
        std::string reply =
            "HTTP/1.1 " + status +
            "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body;
        aSocket->write(reply.data(), static_cast<qint64>(reply.size()));
        aSocket->disconnectFromHost();
    }

    QTcpServer fServer;
    std::map<std::string, std::string> fPages;
    std::map<std::string, int> fRequests;
    std::map<QTcpSocket*, QByteArray> fBuffers;
};

// Runs the event loop until the browser reports the end of a navigation; false when none came
// (a guard against hanging, not a measure of speed).
bool WaitForNavigation(TSocialBrowser* aBrowser, bool* aLoaded = nullptr) {
    QEventLoop loop;
    bool done = false;
    QObject::connect(aBrowser, &TSocialBrowser::NavigateComplete, &loop, [&](const QUrl&, bool aOk) {
        done = true;
        if (aLoaded) *aLoaded = aOk;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (aBrowser->IsNavigating()) loop.exec();
    return done;
}

const std::map<std::string, std::string> kPages = {
    {"/Tarnwell/socialNoRecovered.htm", "<html><body><p>Our engineers can help.</p></body></html>"},
    {"/Tarnwell/social.htm", "<html><body><p>Glad we could help!</p></body></html>"},
};

TEST(SocialPage, ShowsTheMakersPageForTheOutcomeOnceItArrives) {
    PageServer server(kPages);
    WizardHarness wizard;
    SetMakerSiteBase(server.Base());
    wizard.Start(false); // showing the form loads the page for an unsuccessful run
    TformMain& form = wizard.Form();
    TSocialBrowser* web = form.webControlSocial;
    EXPECT_EQ(web->NavigatedUrl().toString().toStdString(),
              server.Base() + "/Tarnwell/socialNoRecovered.htm");

    bool loaded = false;
    ASSERT_TRUE(WaitForNavigation(web, &loaded));
    EXPECT_TRUE(loaded);
    EXPECT_EQ(web->toPlainText().toStdString(), "Our engineers can help.");
    EXPECT_FALSE(web->isHidden());

    // On the finish page after a run that saved files, a stale load is replaced by the success page.
    wizard.Module().Engine().fSavedFileCount = 3;
    form.GoToPage(form.tabshFinished);
    form.fSocialLoadTime = TimeGetTime() - TformMain::SocialReloadMs - 1;
    form.UpdateContinueState();
    EXPECT_TRUE(web->toPlainText().isEmpty()); // the blank document first
    ASSERT_TRUE(WaitForNavigation(web, &loaded));
    EXPECT_EQ(web->toPlainText().toStdString(), "Glad we could help!");
    EXPECT_EQ(server.Requests("/Tarnwell/social.htm"), 1);
    SaveScreenshot(&form, "5-finish-with-web-content");

    // A recent load is left alone.
    form.UpdateContinueState();
    EXPECT_FALSE(web->IsNavigating());
}

TEST(SocialPage, AnUnreachableSiteLeavesTheBlankDocumentAndTheReloadKeepsTrying) {
    std::string closedBase;
    {
        PageServer gone(kPages);
        closedBase = gone.Base();
    }
    WizardHarness wizard;
    SetMakerSiteBase(closedBase);
    wizard.Start(false);
    TformMain& form = wizard.Form();
    bool loaded = true;
    ASSERT_TRUE(WaitForNavigation(form.webControlSocial, &loaded));
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(form.webControlSocial->toPlainText().isEmpty());
    EXPECT_EQ(form.webControlSocial->document()->toHtml().contains("fffcf1", Qt::CaseInsensitive), true);

    // Not on the finish page: no reload, however old the last load.
    form.fSocialLoadTime = TimeGetTime() - TformMain::SocialReloadMs - 1;
    form.UpdateContinueState();
    EXPECT_FALSE(form.webControlSocial->IsNavigating());

    form.GoToPage(form.tabshFinished);
    form.fSocialLoadTime = TimeGetTime() - TformMain::SocialReloadMs - 1;
    form.UpdateContinueState();
    EXPECT_TRUE(form.webControlSocial->IsNavigating());
    ASSERT_TRUE(WaitForNavigation(form.webControlSocial, &loaded));
    EXPECT_FALSE(loaded);
}

} // namespace
} // namespace qrt::test
