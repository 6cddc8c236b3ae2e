#include "HostTask.h"

#include <gio/gio.h>
#include <unistd.h>
#include <cstdlib>

namespace larkhost {

std::unique_ptr<HostTask> HostTask::Launch(const HostTaskSpec& spec, Done done,
                                           std::string& error) {
    // Standard input is the null device (GSubprocess's default) unless the task shares the host's
    // terminal; standard output is the host's then as well.
    GSubprocessFlags output = spec.captureOutput  ? G_SUBPROCESS_FLAGS_STDOUT_PIPE
                              : spec.shareTerminal ? G_SUBPROCESS_FLAGS_NONE
                                                   : G_SUBPROCESS_FLAGS_STDOUT_SILENCE;
    GSubprocessFlags flags = static_cast<GSubprocessFlags>(
        output | (spec.shareTerminal ? G_SUBPROCESS_FLAGS_STDIN_INHERIT : 0) |
        (spec.errorFd >= 0 ? 0 : G_SUBPROCESS_FLAGS_STDERR_PIPE));
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(flags);
    std::vector<const char*> env;
    for (const auto& e : spec.environment) env.push_back(e.c_str());
    env.push_back(nullptr);
    g_subprocess_launcher_set_environ(launcher, const_cast<gchar**>(env.data()));
    if (!spec.workingDirectory.empty())
        g_subprocess_launcher_set_cwd(launcher, spec.workingDirectory.c_str());
    if (spec.errorFd >= 0) {
        int copy = dup(spec.errorFd);
        if (copy >= 0) g_subprocess_launcher_take_stderr_fd(launcher, copy);
    }
    std::vector<const char*> argv;
    for (const auto& a : spec.argv) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    GError* gerror = nullptr;
    GSubprocess* process = g_subprocess_launcher_spawnv(launcher, argv.data(), &gerror);
    g_object_unref(launcher);
    if (process == nullptr) {
        error = gerror != nullptr ? gerror->message : "unknown error";
        g_clear_error(&gerror);
        return nullptr;
    }
    std::unique_ptr<HostTask> task(new HostTask());
    task->m_process = process;
    task->m_done = std::move(done);
    const char* id = g_subprocess_get_identifier(process);
    task->m_pid = id != nullptr ? std::atoi(id) : 0;
    task->m_cancel = g_cancellable_new();
    g_subprocess_communicate_async(process, nullptr, task->m_cancel, &HostTask::Communicated,
                                   task.get());
    return task;
}

HostTask::~HostTask() {
    if (m_cancel != nullptr) {
        g_cancellable_cancel(m_cancel);
        g_object_unref(m_cancel);
    }
    if (m_process != nullptr) g_object_unref(m_process);
}

void HostTask::Communicated(GObject* source, GAsyncResult* result, gpointer self) {
    GBytes* out = nullptr;
    GBytes* err = nullptr;
    GError* error = nullptr;
    // Bytes, not text: a program's error output need not be valid UTF-8.
    bool ok = g_subprocess_communicate_finish(G_SUBPROCESS(source), result, &out, &err, &error);
    if (!ok && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        if (out != nullptr) g_bytes_unref(out);
        if (err != nullptr) g_bytes_unref(err);
        // The task object is gone; nothing may be touched.
        g_clear_error(&error);
        return;
    }
    g_clear_error(&error);
    auto* task = static_cast<HostTask*>(self);
    int status = 0;
    if (g_subprocess_get_if_exited(task->m_process))
        status = g_subprocess_get_exit_status(task->m_process);
    else if (g_subprocess_get_if_signaled(task->m_process))
        status = 128 + g_subprocess_get_term_sig(task->m_process);
    auto text = [](GBytes* bytes) {
        if (bytes == nullptr) return std::string();
        gsize size = 0;
        const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        std::string copy(data != nullptr ? data : "", size);
        g_bytes_unref(bytes);
        return copy;
    };
    std::string output = text(out);
    std::string errors = text(err);
    Done done = task->m_done;  // the callback may destroy the task
    done(*task, status, output, errors);
}

}  // namespace larkhost
