// The shell command lines the host runs through "/bin/sh -c". Every inserted value is quoted for
// the shell, so paths and URLs reach the scripts exactly as they are.
#pragma once

#include <string>

namespace larkhost {

// A command line the host built itself. Only the builders below make one, so the host never
// runs a command text that came from outside (a URL, a document path, a setting) unquoted.
class ShellCommand {
  public:
    const std::string& Text() const { return m_text; }

  private:
    explicit ShellCommand(std::string text) : m_text(std::move(text)) {}
    std::string m_text;
    friend ShellCommand PrimaryCommand(const std::string&);
    friend ShellCommand UrlCommand(const std::string&, const std::string&, const std::string&);
    friend ShellCommand DocumentCommand(const std::string&, const std::string&, const std::string&);
};

// Wraps `value` in single quotes, each embedded single quote written as '\''.
std::string ShellQuote(const std::string& value);

// "--bottle <quoted name>", or "--bottle default" when no bottle is named.
std::string BottleOption(const std::string& bottle);

// The primary task: <quoted root>/bin/launcher.
ShellCommand PrimaryCommand(const std::string& porticoRoot);

// A URL handed to the Windows side: ptstart ... -- <quoted url>.
ShellCommand UrlCommand(const std::string& porticoRoot, const std::string& bottle,
                        const std::string& url);

// A document opened in its Windows application: ptstart ... --untrusted <quoted path>.
ShellCommand DocumentCommand(const std::string& porticoRoot, const std::string& bottle,
                             const std::string& path);

// The scheme of a URL (the text before the first ':'), empty when there is none.
std::string UrlScheme(const std::string& url);

}  // namespace larkhost
