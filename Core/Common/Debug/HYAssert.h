// Assertions: a failed one is reported to the "ERROR" channel and the user is asked whether to
// abort, retry (break into a debugger, then end) or ignore it from now on.
#pragma once

enum AssertAnswer { AA_Abort = 3, AA_Retry = 4, AA_Ignore = 5 };

// Asks the user about a failed assertion; `text` is "expression\n File: file, Line: line".
using AssertHandler = AssertAnswer (*)(const char* title, const char* text);

// Installs the handler that asks; nullptr restores the default, which asks on a terminal and
// answers Abort when nobody can be asked.
void SetAssertHandler(AssertHandler handler);

// Reports a failed assertion. Answers when the report was skipped or the user chose Ignore;
// Abort and Retry end the process.
void HYAssertFailed(const char* expression, const char* file, int line);

// Forgets every remembered Ignore.
void ResetAssertIgnores();

#define HY_ASSERT(expression) \
    ((expression) ? static_cast<void>(0) : ::HYAssertFailed(#expression, __FILE__, __LINE__))
