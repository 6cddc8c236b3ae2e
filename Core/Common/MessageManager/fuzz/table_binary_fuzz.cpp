// The binary table-file loader on arbitrary bytes, its records decoded by the message manager with
// the shipped modules as in the launcher: it ends in a database, whole or partial, or a refusal,
// and whatever it loaded can be written out again.
#include <cstdlib>
#include <string_view>

#include "DMLDatabase.h"
#include "DMLTableFileWriter.h"
#include "FileBinary.h"
#include "FuzzTarget.h"
#include "message_fuzz_support.h"
#include "table_fuzz_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadShippedModules();
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
    LoadShippedModules();
    std::string bytes;
    // A seed the writer could not make would leave the target only the refusals to explore.
    if (!WriteBinaryTableFile(SeedDatabase(), bytes) || bytes.empty()) std::abort();
    return {bytes};
}
