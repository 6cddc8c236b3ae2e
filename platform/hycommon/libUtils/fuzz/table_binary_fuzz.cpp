// The binary table-file loader on arbitrary bytes: it ends in a database, whole or partial, or a
// refusal, and whatever it loaded can be written out again.
#include <string_view>

#include "DMLDatabase.h"
#include "DMLTableFileWriter.h"
#include "FileBinary.h"
#include "FuzzTarget.h"
#include "table_fuzz_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    DMLDatabase database("");
    database.SetStorage(FileBinary::FromView("fuzz.bin", bytes));
    if (database.Load()) {
        std::string again;
        WriteBinaryTableFile(database, again);
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    std::string bytes;
    WriteBinaryTableFile(SeedDatabase(), bytes);
    return {bytes};
}
