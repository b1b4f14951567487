#include "TestUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace qrt::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "qrt-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    fPath = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only files and folders behind; make them writable before removing.
    for (auto it = fs::recursive_directory_iterator(fPath, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(fPath, ec);
}

int RunCommand(const std::string& aCommand, std::string* aOutput) {
    std::string command = aCommand + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int status = ::pclose(pipe);
    if (aOutput) *aOutput = output;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void MustRun(const std::string& aCommand) {
    std::string output;
    int rc = RunCommand(aCommand, &output);
    ASSERT_EQ(rc, 0) << "command failed: " << aCommand << "\n" << output;
}

std::string ShellQuote(const std::string& aText) {
    std::string result = "'";
    for (char c : aText) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

void WriteFileBytes(const std::string& aFileName, const std::string& aBytes) {
    std::ofstream out(aFileName, std::ios::binary | std::ios::trunc);
    out.write(aBytes.data(), static_cast<std::streamsize>(aBytes.size()));
    if (!out) throw std::runtime_error("cannot write " + aFileName);
}

std::string ReadFileBytes(const std::string& aFileName) {
    std::ifstream in(aFileName, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + aFileName);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool PathExists(const std::string& aPath) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(aPath, ec));
}

std::vector<std::string> ListFilesRecursive(const std::string& aFolder) {
    std::vector<std::string> files;
    for (auto& entry : fs::recursive_directory_iterator(aFolder))
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), aFolder).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string PatternBytes(size_t aCount, uint32_t aSeed) {
    std::string bytes(aCount, '\0');
    uint32_t x = aSeed * 2654435761u + 1;
    for (size_t i = 0; i < aCount; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

std::string AssertionText(const std::exception& e) {
    std::string text = e.what();
    auto pos = text.rfind(" (");
    if (pos != std::string::npos && text.size() > 0 && text.back() == ')' &&
        text.find(", line ", pos) != std::string::npos)
        text.erase(pos);
    return text;
}

} // namespace qrt::test
