// The texts and names of the instance dialogs.
#include "gui/instance_dialogs.h"

#include <gtest/gtest.h>

TEST(InstanceDialogs, MemoryTileAndExportTarget) {
    struct {
        int mb;
        const char *text;
    } memory[] = {{4096, "4 ГБ"}, {3072, "3 ГБ"}, {1536, "1536 МБ"}, {512, "512 МБ"}};
    for (const auto &m : memory)
        EXPECT_EQ(instance_memory_text(m.mb), m.text) << m.mb;
    struct {
        const char *chosen, *target;
    } targets[] = {{"/home/p/pack", "/home/p/pack.mrpack"},
                   {"/home/p/pack.mrpack", "/home/p/pack.mrpack"},
                   {"/home/p/Pack.MRPACK", "/home/p/Pack.MRPACK"},
                   {"/home/p/pack.zip", "/home/p/pack.zip.mrpack"},
                   {"", ""}};
    for (const auto &t : targets)
        EXPECT_EQ(instance_export_target(t.chosen), t.target) << t.chosen;
}
