// The alternate-loader request as it crosses the Unix socket: a request type, three
// length-prefixed buffers (working directory, environment, arguments), one data byte carrying the
// standard descriptors and the Wine server socket, then end-of-stream. Integers are in host byte
// order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace larkhost {

constexpr uint32_t kLoaderRequest64 = 0x52C17357;
constexpr uint32_t kLoaderRequestI386 = 0x52C17355;
constexpr uint32_t kLoaderResponse = 0x52C17356;

// Descriptors that travel with a request: stdin, stdout, stderr, the Wine server socket and,
// when present, the write end of the wait-for-children pipe.
constexpr int kLoaderMinDescriptors = 4;
constexpr int kLoaderMaxDescriptors = 5;

// A buffer longer than this is refused before anything is allocated for it: no real working
// directory, environment or argument list comes near it.
constexpr uint64_t kLoaderMaxBufferLength = 64ull << 20;

// Owns received descriptors and closes whichever are still held when it goes away.
class ReceivedDescriptors {
  public:
    ReceivedDescriptors() = default;
    ~ReceivedDescriptors() { CloseAll(); }
    ReceivedDescriptors(ReceivedDescriptors&& other) noexcept;
    ReceivedDescriptors& operator=(ReceivedDescriptors&& other) noexcept;
    ReceivedDescriptors(const ReceivedDescriptors&) = delete;
    ReceivedDescriptors& operator=(const ReceivedDescriptors&) = delete;

    void Add(int fd) { m_fds.push_back(fd); }
    size_t Count() const { return m_fds.size(); }
    int operator[](size_t i) const { return m_fds[i]; }
    // Gives up ownership of descriptor i (the caller closes or keeps it); -1 afterwards.
    int Release(size_t i);
    void CloseAll();

  private:
    std::vector<int> m_fds;
};

// One request after it has been read completely.
struct LoaderRequest {
    bool i386 = false;
    std::optional<std::string> workingDirectory;  // none when the length was 0
    std::vector<std::string> environment;         // name=value strings in order
    std::vector<std::string> arguments;           // at least one; the first may be empty
    ReceivedDescriptors descriptors;              // 4 or 5
    bool HasWaitChildPipe() const { return descriptors.Count() == kLoaderMaxDescriptors; }
};

// Reads exactly `size` bytes, retrying after interruptions. Answers 0, or -1 at end-of-stream
// with errno 0, or -1 with errno set by the failing read.
int ReadFully(int fd, void* data, size_t size);

// Splits a buffer of NUL-terminated strings. False unless the buffer is empty or ends in NUL.
bool SplitNulStrings(const std::string& buffer, std::vector<std::string>& out);

// Reads the request type; false after logging when it cannot be read.
bool ReadRequestType(int fd, uint32_t& type, const char* method);

// Reads everything that follows a known request type: the three buffers, the descriptor
// message and the end of stream. Every failure is logged under `method`; the request then holds
// no descriptors (everything received was closed).
bool ReadRequestBody(int fd, LoaderRequest& request, const char* method);

}  // namespace larkhost
