// The XML table-file loader on arbitrary bytes: it ends in a database, whole or partial, or a
// refusal, and whatever it loaded can be written out again.
#include <string_view>

#include "DMLDatabase.h"
#include "DMLTableFileWriter.h"
#include "FileXML.h"
#include "FuzzTarget.h"
#include "table_fuzz_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A named database loads only its own tables; an unnamed one takes whatever the file holds.
    for (const char* name : {"", "FileList"}) {
        DMLDatabase database(name);
        database.SetStorage(FileXML::FromView("fuzz.xml", bytes));
        if (database.Load()) WriteXmlTableFile(database, true);
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    return {WriteXmlTableFile(SeedDatabase(), true), WriteXmlTableFile(SeedDatabase(), false)};
}
