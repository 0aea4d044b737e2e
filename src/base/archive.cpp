// Picks the archive reader from the file's first bytes.
#include "base/archive.h"

#include "base/fs.h"
#include "base/strings.h"

#include <cerrno>

int archive_extract(const std::string &archive, const std::string &target, int strip,
                    const std::string &skip_prefix, std::string *err) {
    unsigned char magic[2] = {0, 0};
    FilePtr f = fs_open(archive, "rb");
    if (!f) {
        if (err) *err = "Не удалось открыть архив: " + fs_error_text(errno);
        return -1;
    }
    size_t got = fread(magic, 1, 2, f.get());
    f.reset();
    if (got == 2 && magic[0] == 'P' && magic[1] == 'K') {
        return zip_extract(archive, target, strip, skip_prefix, err);
    }
    if (got == 2 && magic[0] == 0x1f && magic[1] == 0x8b) {
        return tar_gz_extract(archive, target, strip, skip_prefix, err);
    }
    if (err) *err = "Неизвестный формат архива";
    return -1;
}
