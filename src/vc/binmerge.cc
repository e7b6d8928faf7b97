#include "vc/binmerge.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "support/util.h"

namespace pelo {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum MergeResult { mergeDone = 0, mergeMemory, mergeWrite, mergeNoBase, mergeNoTemp,
                   mergeNoDiff, mergeTruncated };

/// The three streams of one merge and the counts that place the output.
struct Merge {
    File base, out, diff;
    long consumed = 0;  // base bytes read, copied or skipped
    long skipped = 0;   // base bytes skipped
    long inserted = 0;  // bytes taken from the difference
    long outputPosition() const { return consumed - skipped + inserted; }
};

bool readInt(std::FILE* file, std::int32_t& value) {
    return std::fread(&value, sizeof value, 1, file) == 1;
}

/// Copies count bytes from one stream to another.
int copyBytes(std::FILE* from, std::FILE* to, long count) {
    char block[8192];
    while (count > 0) {
        std::size_t want = count < long(sizeof block) ? std::size_t(count) : sizeof block;
        std::size_t got = std::fread(block, 1, want, from);
        if (got != want)
            return mergeTruncated;
        if (std::fwrite(block, 1, got, to) != got)
            return mergeWrite;
        count -= long(got);
    }
    return mergeDone;
}

int skipBase(Merge& merge, std::int32_t count) {
    if (count < 0 || std::fseek(merge.base.get(), count, SEEK_CUR) != 0)
        return mergeTruncated;
    merge.consumed += count;
    merge.skipped += count;
    return mergeDone;
}

int insertData(Merge& merge, std::int32_t length) {
    if (length < 0)
        return mergeTruncated;
    int result = copyBytes(merge.diff.get(), merge.out.get(), length);
    merge.inserted += length;
    return result;
}

/// Reads the next record head; 1 with a record, 0 at a clean end, or
/// mergeTruncated when the file ends inside the head.
int readRecordHead(std::FILE* diff, DiffRecord& record) {
    // The end is clean only between records: a file cut inside the first
    // integer of a head lost the rest of that record.
    const std::size_t got = std::fread(&record.offset, 1, sizeof record.offset, diff);
    if (got == 0)
        return std::feof(diff) && !std::ferror(diff) ? 0 : -mergeTruncated;
    if (got != sizeof record.offset || !readInt(diff, record.length) || std::fread(&record.kind, 1, 1, diff) != 1)
        return -mergeTruncated;
    if (record.kind == diffReplace && !readInt(diff, record.skip))
        return -mergeTruncated;
    return 1;
}

int applyRecord(Merge& merge, const DiffRecord& record) {
    long gap = long(record.offset) - merge.outputPosition();
    if (gap < 0)
        return mergeTruncated;
    if (int result = copyBytes(merge.base.get(), merge.out.get(), gap))
        return result;
    merge.consumed += gap;
    if (record.kind == diffSkip)
        return skipBase(merge, record.length);
    if (record.kind == diffReplace)
        if (int result = skipBase(merge, record.skip))
            return result;
    return insertData(merge, record.length);
}

int applyAll(Merge& merge, const char* base) {
    DiffRecord record;
    for (;;) {
        int head = readRecordHead(merge.diff.get(), record);
        if (head < 0)
            return -head;
        if (head == 0)
            break;
        if (int result = applyRecord(merge, record))
            return result;
    }
    off_t size = 0;
    getFileSize(base, size);
    long rest = long(size) - merge.consumed;
    if (rest < 0)
        return mergeTruncated;
    return copyBytes(merge.base.get(), merge.out.get(), rest);
}

int writeRecord(std::FILE* file, const DiffRecord& record) {
    bool ok = std::fwrite(&record.offset, sizeof record.offset, 1, file) == 1 &&
              std::fwrite(&record.length, sizeof record.length, 1, file) == 1 &&
              std::fwrite(&record.kind, 1, 1, file) == 1;
    if (ok && record.kind == diffReplace)
        ok = std::fwrite(&record.skip, sizeof record.skip, 1, file) == 1;
    if (ok && record.kind != diffSkip)
        ok = std::fwrite(record.data.data(), 1, record.data.size(), file) == record.data.size();
    return ok ? 0 : 1;
}

}  // namespace

int writeReverseDifference(const std::string& path, const std::vector<DiffRecord>& records) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return 1;
    int result = 0;
    for (const DiffRecord& record : records)
        if ((result = writeRecord(file.get(), record)) != 0)
            break;
    if (std::fclose(file.release()) != 0)
        result = 1;
    if (result == 0)
        result = chmod(path.c_str(), 0644) == 0 ? 0 : 1;
    if (result != 0)
        unlink(path.c_str());
    return result;
}

int binmerge(const char* base, const char* output, const char* difference) {
    Merge merge;
    merge.base.reset(std::fopen(base, "rb"));
    if (!merge.base)
        return mergeNoBase;
    std::string temporary;
    getTempName(output, temporary);
    merge.out.reset(std::fopen(temporary.c_str(), "wb"));
    if (!merge.out)
        return mergeNoTemp;
    merge.diff.reset(std::fopen(difference, "rb"));
    if (!merge.diff) {
        merge.out.reset();
        unlink(temporary.c_str());
        return mergeNoDiff;
    }
    int result = applyAll(merge, base);
    if (std::fclose(merge.out.release()) != 0 && result == mergeDone)
        result = mergeWrite;
    if (result == mergeDone && chmod(temporary.c_str(), 0644) == 0 &&
        std::rename(temporary.c_str(), output) == 0) {
        struct stat status;
        return stat(output, &status) == 0 ? mergeDone : mergeWrite;
    }
    unlink(temporary.c_str());
    return result == mergeDone ? mergeWrite : result;
}

}  // namespace pelo
