// Writes table files in the two forms the readers accept. The launcher only reads table files;
// the operator tools (publishing a file list, packing message modules) and the tests write them.
#pragma once

#include <string>
#include <vector>

class DMLDatabase;
class DMLTable;

// The XML form: declaration, database element, optionally a "_TableList" table naming the tables
// in order, then each table with its records.
std::string WriteXmlTableFile(const DMLDatabase& database, bool withTableList);

// The binary form: the "_TableList" section, then one section per table in name order. Uses the
// message types of service 2, so the service-2 module must be loaded. False when a message would
// exceed the size limit or those types are unknown.
bool WriteBinaryTableFile(const DMLDatabase& database, std::string& out);
// One section of the binary form (record count, dictionary, records).
bool AppendBinaryTableSection(const DMLTable& table, std::string& out);
