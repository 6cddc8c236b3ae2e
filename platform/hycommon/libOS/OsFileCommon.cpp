// The parts of the file seam that are the same on every platform: whole-file helpers and path
// pieces, built on the platform's File and directory calls.
#include "OsFile.h"

#include "OsHost.h"
#include "OsSysCalls.h"

namespace HY_OS {

File::~File() { Close(); }

File::File(File&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

int64_t GetFreeDiskSpace(const std::string& path) { return SysCalls().FreeDiskSpace(path); }

bool ReadWholeFile(const std::string& path, std::string& out) {
    File f = File::Open(path, FileMode::Read);
    if (!f.IsOpen()) return false;
    out.clear();
    char block[65536];
    for (;;) {
        int64_t n = f.Read(block, sizeof block);
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(block, static_cast<size_t>(n));
    }
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
    std::string temp = path + ".tmp" + std::to_string(GetProcessId());
    {
        File f = File::Open(temp, FileMode::CreateWrite);
        if (!f.IsOpen()) return false;
        if (!f.Write(data.data(), data.size()) || !f.Sync()) {
            f.Close();
            DeleteFile(temp);
            return false;
        }
    }
    if (!RenameFile(temp, path)) {
        DeleteFile(temp);
        return false;
    }
    return true;
}

std::string FileNamePart(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DirectoryPart(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return {};
    if (cut == 0) return path.substr(0, 1);
    return path.substr(0, cut);
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    bool aSlash = a.back() == '/' || a.back() == '\\';
    bool bSlash = b.front() == '/' || b.front() == '\\';
    if (aSlash && bSlash) return a + b.substr(1);
    if (aSlash || bSlash) return a + b;
    return a + "/" + b;
}

}  // namespace HY_OS
