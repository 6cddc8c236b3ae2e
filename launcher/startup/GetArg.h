// The command-line parser: a table of option letters, each with a value type and the variable that
// receives the value.
#pragma once

#include <cstdio>

enum OptionType : int {
    OT_Int = 0,        // int32_t
    OT_Bool = 1,       // bool
    OT_Char = 2,       // char
    OT_CString = 3,    // const char*: points into the argument
    OT_Float = 4,      // double
    OT_String = 5,     // std::string: a copy of the rest of the argument
    OT_U64 = 6,        // uint64_t
    OT_Separator = 7,  // a line of the usage listing only; never matched
};

struct ArgOption {
    int letter;
    int type;  // an OptionType; kept as int so that a bad code in a table can be reported
    void* variable;
    const char* help;
};

// Parses `argv` by the table. Arguments that do not begin with '-' are moved, in order, to the
// front of `argv` after the program name; the answer is 1 plus their count. An argument beginning
// with '-' is a cluster of option letters ("-r1s"); a value follows its letter, after an optional
// ':'. A letter missing from the table prints "Illegal argument: <x>." and the usage listing to
// standard error and stops: with `exitOnError` the process ends with exit code 1, otherwise the
// answer is -1 and values already stored stay.
int getarg(int argc, char** argv, const ArgOption* table, int tableSize, bool exitOnError);

// The same, printing to `errors` instead of standard error.
int getargTo(std::FILE* errors, int argc, char** argv, const ArgOption* table, int tableSize,
             bool exitOnError);

// Prints one line per table entry with its type and the variable's current value.
void PrintArgUsage(std::FILE* out, const ArgOption* table, int tableSize);
