#pragma once

#include <string>
#include <vector>

namespace qrt::test {

// The loopback HTTP server of tests/scripts/http_server.py, serving the files of a folder on a
// free port of 127.0.0.1 for as long as this object lives.
class HttpTestServer {
public:
    // One request the server received.
    struct Request {
        std::string Method;
        std::string Target;               // path and query
        std::vector<std::string> Headers; // "Name: value"
        bool HasHeader(const std::string& aLine) const;
    };

    explicit HttpTestServer(const std::string& aRoot);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const { return fPort; }
    // "http://127.0.0.1:<port>" followed by aPath.
    std::string Url(const std::string& aPath = std::string()) const;
    // Every request answered or being answered so far, in order of arrival.
    std::vector<Request> Requests() const;

private:
    void Stop();

    std::string fRoot;
    int fPid = -1;
    int fInput = -1; // the server's standard input; closing it ends the server
    int fPort = 0;
};

// A port of 127.0.0.1 on which nothing listens (it was free a moment ago).
int UnusedLoopbackPort();

} // namespace qrt::test
