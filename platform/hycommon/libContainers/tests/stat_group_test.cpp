#include "StatGroup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "OsFile.h"
#include "TempDir.h"

namespace {

// What the group prints, through a file (binary, so no line-end translation touches it).
std::string Printed(const StatGroup& group, int indent) {
    hytest::TempDir dir;
    std::string path = dir / "printed.txt";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return "cannot write " + path;
    group.Print(indent, out);
    std::fclose(out);
    std::string result;
    HY_OS::ReadWholeFile(path, result);
    return result;
}

TEST(StatGroup, CountsAndPrintsTwoToALine) {
    StatGroup group({"Alpha", "Beta", "Gamma"});
    group.Increment(0);
    group.Add(1, 41);
    group.Increment(1);
    group.KeepMax(2, 9);
    group.KeepMax(2, 4);
    group.Increment(7);  // outside the group: ignored
    char expected[512];
    std::snprintf(expected, sizeof expected, "  StatGroup:\n    %-30s: %-12u  %-30s: %u\n    %-30s: %-12u\n",
                  "Alpha", 1u, "Beta", 42u, "Gamma", 9u);
    EXPECT_EQ(Printed(group, 2), expected);
}

TEST(StatGroup, CountersAreExactUnderConcurrentUse) {
    StatGroup group({"Count", "Max"});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&group, t] {
            for (uint32_t i = 0; i < 20000; ++i) {
                group.Increment(0);
                group.KeepMax(1, i * 4 + static_cast<uint32_t>(t));
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(group.Get(0), 80000u);
    EXPECT_EQ(group.Get(1), 19999u * 4 + 3);
}

}  // namespace
