// A task the host launches: a program with its own arguments, environment and working folder,
// standard input from the null device, and its output and error output read to their ends in the
// background. Completion is reported on the main context, after the output has been read.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GSubprocess GSubprocess;
typedef struct _GCancellable GCancellable;
typedef struct _GObject GObject;
typedef struct _GAsyncResult GAsyncResult;
typedef void* gpointer;

namespace larkhost {

struct HostTaskSpec {
    std::vector<std::string> argv;
    std::vector<std::string> environment;
    std::string workingDirectory;
    bool captureOutput = false;  // standard output to a pipe (else the null device)
    int errorFd = -1;            // standard error to this descriptor (else a pipe); not taken over
    // Standard input and output shared with the host (captureOutput aside): a host without a
    // display runs its tasks for the terminal it was started from.
    bool shareTerminal = false;
};

class HostTask {
  public:
    // status: the exit status (128 + signal when killed); output and error: what was read.
    using Done = std::function<void(HostTask& task, int status, const std::string& output,
                                    const std::string& error)>;

    // Starts the task; null with `error` set when it cannot be started.
    static std::unique_ptr<HostTask> Launch(const HostTaskSpec& spec, Done done,
                                            std::string& error);
    ~HostTask();
    HostTask(const HostTask&) = delete;
    HostTask& operator=(const HostTask&) = delete;

    int ProcessId() const { return m_pid; }

  private:
    HostTask() = default;
    static void Communicated(GObject* source, GAsyncResult* result, gpointer self);

    GSubprocess* m_process = nullptr;
    GCancellable* m_cancel = nullptr;
    Done m_done;
    int m_pid = 0;
};

}  // namespace larkhost
