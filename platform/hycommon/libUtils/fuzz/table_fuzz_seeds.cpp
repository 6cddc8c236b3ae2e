#include "table_fuzz_seeds.h"

#include <string>

#include "DMLDatabase.h"
#include "DMLTable.h"

const DMLDatabase& SeedDatabase() {
    static DMLDatabase database("FileList");
    if (database.Tables().empty()) {
        DMLDatabase* db = &database;
        db->MakeTable("About", false)->AppendRecord().GetField("Version").SetValue(uint32_t{7});
        DMLTable* base = db->MakeTable("Base", false);
        for (int i = 0; i < 4; ++i) {
            DMLRecord& r = base->AppendRecord();
            r.GetField("SrcFileName").SetValue("Bin/file" + std::to_string(i) + ".dll");
            r.GetField("TarFileName").SetValue("");
            r.GetField("Size").SetValue(static_cast<uint32_t>(1000 * i));
            r.GetField("CRC").SetValue(0xDEADBEEFu + i);
            r.GetField("Key").SetValue(static_cast<int32_t>(-i));
            r.GetField("Key").SetFlag(DMLF_KEY, true);
            r.GetField("Wide").SetValue(std::u16string_view(u"\u00e9t\u00e9"));
            r.GetField("Ratio").SetValue(0.25 * i);
            r.GetField("Big").SetValue(uint64_t{0x0123456789ABCDEF} + i);
        }
    }
    return database;
}
