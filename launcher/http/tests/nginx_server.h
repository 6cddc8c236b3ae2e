// An nginx instance of the test's own: a generated configuration in a temporary directory,
// listening on a free loopback port, serving the files put into its document root. Stopped and
// removed when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class NginxServer {
public:
    NginxServer();
    ~NginxServer();

    // False (with the reason in Error()) when nginx is missing or does not start.
    bool Start();
    const std::string& Error() const { return m_error; }
    std::string Root() const { return m_directory + "/www"; }
    // Writes a file below the document root.
    bool PutFile(const std::string& path, const std::string& content);
    std::string Url(const std::string& path) const;
    // Lines of the access log.
    std::string AccessLog() const;

private:
    std::string m_directory;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
    std::string m_error;
};
