// Picks the archive reader from the file's first bytes.
#include "base/archive.h"

#include "base/fs.h"
#include "base/strings.h"

int archive_extract(const std::string &archive, const std::string &target, int strip,
                    const std::string &skip_prefix, std::string *err) {
    unsigned char magic[2] = {0, 0};
    FilePtr f = fs_open(archive, "rb");
    if (!f || fread(magic, 1, 2, f.get()) != 2) {
        if (err) *err = format_alloc("Не удалось открыть архив %s", archive.c_str());
        return -1;
    }
    f.reset();
    if (magic[0] == 'P' && magic[1] == 'K') {
        return zip_extract(archive, target, strip, skip_prefix, err);
    }
    if (magic[0] == 0x1f && magic[1] == 0x8b) {
        return tar_gz_extract(archive, target, strip, skip_prefix, err);
    }
    if (err) *err = format_alloc("Неизвестный формат архива: %s", archive.c_str());
    return -1;
}
