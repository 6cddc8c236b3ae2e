// The argument checks every HTTP implementation makes before it asks its engine for anything.
#pragma once

#include <cstdint>
#include <string>

namespace HY_OS {

// HTTP_OK for a plain-http address with something after the scheme, HTTP_ERROR_INVALID_URL for
// anything else (https, ftp and file addresses included: the files are fetched over http only).
uint32_t CheckHttpUrl(const std::string& url);
// HTTP_OK for a host name without path, user or whitespace characters and a port other than 0;
// HTTP_ERROR_INVALID_URL otherwise.
uint32_t CheckHttpHost(const std::string& host, uint16_t port);

}  // namespace HY_OS
