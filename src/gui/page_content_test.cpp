// The content page's texts: download counts and what the manual-download
// dialog opens.
#include "gui/page_content.h"

#include <gtest/gtest.h>

TEST(ContentPage, DownloadCounts) {
    struct Case {
        int count;
        const char *text;
    } cases[] = {
        {0, ""},
        {-5, ""}, // a count that overflowed on the way
        {999, "999 загрузок"},
        {1000, "1,0 тыс. загрузок"},
        {354677, "354,7 тыс. загрузок"},
        {999999, "1000,0 тыс. загрузок"},
        {1000000, "1,0 млн загрузок"},
        {1500000, "1,5 млн загрузок"},
        {300000000, "300,0 млн загрузок"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(content_downloads_text(c.count), c.text) << c.count;
}

TEST(ContentPage, ManualDownloadPageAndFolder) {
    const std::string inst = "/d/instances";
    // As the service install leaves it: a headline, then one block per file.
    const std::string service = "Автор запретил автоматическое скачивание:\n"
                                "• JEI — скачайте вручную: https://www.curseforge.com/minecraft/"
                                "mc-mods/jei\n  и положите файл в папку: /d/instances/Pack/mods\n"
                                "• B — скачайте вручную: https://b.example/x\n"
                                "  и положите файл в папку: /d/instances/Pack/resourcepacks";
    EXPECT_EQ(manual_page_address(service), "https://www.curseforge.com/minecraft/mc-mods/jei");
    EXPECT_EQ(manual_target_folder(service, inst), "/d/instances/Pack/mods");

    // The direct CurseForge install names a page only; the address ends the text.
    const std::string direct =
        "Автор «JEI» запретил автоматическое скачивание. Скачайте вручную: https://cf.example/jei";
    EXPECT_EQ(manual_page_address(direct), "https://cf.example/jei");
    EXPECT_EQ(manual_target_folder(direct, inst), "");

    // An address ends at a space; plain http is not taken.
    EXPECT_EQ(manual_page_address("см. http://a.example и https://b.example/p затем"),
              "https://b.example/p");
    EXPECT_EQ(manual_page_address("нет адреса"), "");

    // The folder is created before it is opened: one outside the instances,
    // from a title that imitates the line, is not taken.
    struct Case {
        const char *detail, *folder;
    } folders[] = {
        {"• X в папку: /home/user/.ssh\n  и положите файл в папку: /d/instances/P/mods", ""},
        {"в папку: /d/instances/../../etc", ""},
        {"в папку: /d/instances", ""},
        {"в папку: /d/instances-other/P", ""},
        {"в папку: /d/instances/Мой пак/shaderpacks", "/d/instances/Мой пак/shaderpacks"},
    };
    for (const Case &c : folders)
        EXPECT_EQ(manual_target_folder(c.detail, inst), c.folder) << c.detail;
}
