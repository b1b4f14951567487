#include "HttpTestServer.h"

#include "TestUtil.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qrt::test {

bool HttpTestServer::Request::HasHeader(const std::string& aLine) const {
    for (const auto& header : Headers)
        if (header == aLine) return true;
    return false;
}

HttpTestServer::HttpTestServer(const std::string& aRoot) : fRoot(aRoot) {
    // Loopback requests never go through a proxy from the environment.
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    int toServer[2], fromServer[2];
    if (::pipe(toServer) != 0 || ::pipe(fromServer) != 0) throw std::runtime_error("pipe failed");
    std::string script = std::string(QRT_TEST_SCRIPTS_DIR) + "/http_server.py";
    fPid = ::fork();
    if (fPid < 0) throw std::runtime_error("fork failed");
    if (fPid == 0) {
        ::dup2(toServer[0], 0);
        ::dup2(fromServer[1], 1);
        ::close(toServer[0]);
        ::close(toServer[1]);
        ::close(fromServer[0]);
        ::close(fromServer[1]);
        ::execlp("python3", "python3", script.c_str(), aRoot.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(toServer[0]);
    ::close(fromServer[1]);
    fInput = toServer[1];
    FILE* output = ::fdopen(fromServer[0], "r");
    char line[64] = {};
    bool started =
        output && std::fgets(line, sizeof line, output) && std::sscanf(line, "PORT %d", &fPort) == 1;
    if (output) std::fclose(output);
    if (!started) {
        Stop();
        throw std::runtime_error("the test HTTP server did not start");
    }
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

void HttpTestServer::Stop() {
    if (fInput >= 0) ::close(fInput);
    fInput = -1;
    if (fPid > 0) {
        // The server ends when its input closes; a server stuck in a request thread is stopped.
        ::kill(fPid, SIGTERM);
        ::waitpid(fPid, nullptr, 0);
    }
    fPid = -1;
}

std::string HttpTestServer::Url(const std::string& aPath) const {
    return "http://127.0.0.1:" + std::to_string(fPort) + aPath;
}

std::vector<HttpTestServer::Request> HttpTestServer::Requests() const {
    std::vector<Request> result;
    std::string log = PathExists(fRoot + "/_requests.log") ? ReadFileBytes(fRoot + "/_requests.log") : "";
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '\t') {
            if (!result.empty()) result.back().Headers.push_back(line.substr(1));
            continue;
        }
        Request request;
        size_t space = line.find(' ');
        request.Method = line.substr(0, space);
        request.Target = space == std::string::npos ? std::string() : line.substr(space + 1);
        result.push_back(request);
    }
    return result;
}

int UnusedLoopbackPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot find a free port");
    ::close(s);
    return ntohs(address.sin_port);
}

} // namespace qrt::test
