#include "core/kelAtomsFiles.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/kelBytes.h"

namespace {

uint32_t reversed(uint32_t v, bool swap)
{
    return swap ? kelByteSwap32(v) : v;
}

}  // namespace

bool kelAtomsFile::openForRead(const char* path)
{
    swap = false;
    writeFailed = false;
    lastId_ = 0;
    damaged_ = false;
    bytesAfterDamage_ = 0;
    if (isOpen()) close();
    if (!path || !KEL_FileOpenReadOnly(path, &file)) return false;
    position = 0;
    uint32_t magic = 0;
    if (!KEL_FileGetLength(&file, &length) || !readBytes(4, &magic)) {
        close();
        return false;
    }
    if (magic == kKelAtomsMagic) return true;
    if (kelByteSwap32(magic) == kKelAtomsMagic) {
        swap = true;
        return true;
    }
    close();
    return false;
}

bool kelAtomsFile::openForRead(const uint8_t* bytes, size_t size)
{
    swap = false;
    writeFailed = false;
    lastId_ = 0;
    damaged_ = false;
    bytesAfterDamage_ = 0;
    if (isOpen()) close();
    if (!bytes || size < 4 || size > static_cast<size_t>(LONG_MAX)) return false;
    memoryIn = bytes;
    length = static_cast<long>(size);
    position = 0;
    uint32_t magic = 0;
    readBytes(4, &magic);
    if (magic == kKelAtomsMagic) return true;
    if (kelByteSwap32(magic) == kKelAtomsMagic) {
        swap = true;
        return true;
    }
    close();
    return false;
}

bool kelAtomsFile::openForWrite(std::vector<uint8_t>* out)
{
    swap = false;
    writeFailed = false;
    if (isOpen()) close();
    if (!out) return false;
    memoryOut = out;
    out->clear();
    const uint32_t magic = kKelAtomsMagic;
    return writeBytes(4, &magic);
}

bool kelAtomsFile::openForWrite(const char* path)
{
    kelFileRec opened;
    if (!path || !KEL_FileCreateAndOpen(path, &opened)) return false;
    return openForWrite(&opened);
}

bool kelAtomsFile::openForWrite(kelFileRec* opened)
{
    swap = false;
    writeFailed = false;
    if (isOpen()) close();
    if (!opened || opened->handle == 0) return false;
    file = *opened;
    opened->handle = 0;
    const uint32_t magic = kKelAtomsMagic;
    if (!writeBytes(4, &magic)) {
        close();
        return false;
    }
    return true;
}

bool kelAtomsFile::close()
{
    if (memoryIn || memoryOut) {
        memoryIn = nullptr;
        memoryOut = nullptr;
        return true;
    }
    if (!isOpen()) return false;
    if (writeFailed) {
        // A file being made stays unmade; the old one of its name is kept.
        KEL_FileAbandon(&file);
        return false;
    }
    return KEL_FileClose(&file);
}

bool kelAtomsFile::writeBytes(long count, const void* buffer)
{
    if (!memoryOut) return KEL_FileWrite(&file, count, buffer);
    const size_t at = memoryOut->size();
    memoryOut->resize(at + static_cast<size_t>(count));
    if (count > 0) std::memcpy(memoryOut->data() + at, buffer, static_cast<size_t>(count));
    return true;
}

bool kelAtomsFile::readBytes(long count, void* buffer)
{
    if (count > length - position) {
        position = length;  // a damaged file ends here: every later read fails
        return false;
    }
    if (memoryIn) {
        std::memcpy(buffer, memoryIn + position, static_cast<size_t>(count));
    } else if (KEL_FileReadSome(&file, count, buffer) != count) {
        position = length;
        return false;
    }
    position += count;
    return true;
}

bool kelAtomsFile::skip(long count)
{
    if (count < 0 || count > length - position || (!memoryIn && !KEL_FileSetPos(&file, position + count))) {
        position = length;
        if (!memoryIn) KEL_FileSetPos(&file, length);
        return false;
    }
    position += count;
    return true;
}

bool kelAtomsFile::readHeader(uint32_t* id, int32_t* atomLength)
{
    uint8_t header[8];
    if (position >= length) return false;  // the clean end
    if (!readBytes(sizeof header, header)) {
        // The damage is a header of its own, not the atom before it.
        lastId_ = 0;
        damaged_ = true;
        bytesAfterDamage_ = 0;
        return false;
    }
    uint32_t atomID, rawLength;
    std::memcpy(&atomID, header, 4);
    std::memcpy(&rawLength, header + 4, 4);
    *id = reversed(atomID, swap);
    *atomLength = static_cast<int32_t>(reversed(rawLength, swap));
    lastId_ = *id;
    // An atom whose length is negative or runs past the file is damage: the
    // file ends there for every later read.
    if (*atomLength < 0 || *atomLength > length - position) {
        damaged_ = true;
        bytesAfterDamage_ = length - position;
        skip(-1);
        return false;
    }
    return true;
}

bool kelAtomsFile::readNext(uint32_t* id, std::vector<uint8_t>* data, int32_t maxSize)
{
    lastLength_ = -1;
    int32_t atomLength = 0;
    if (!isOpen() || !id || !data || maxSize < 0 || !readHeader(id, &atomLength)) return false;
    lastLength_ = atomLength;
    data->resize(static_cast<size_t>(std::min(atomLength, maxSize)));
    return readBytes(static_cast<long>(data->size()), data->data()) &&
           skip(atomLength - static_cast<long>(data->size()));
}

bool kelAtomsFile::read(uint32_t id, int32_t size, void* buffer)
{
    lastLength_ = -1;
    if (!isOpen() || size < 0 || (!buffer && size > 0)) return false;
    uint32_t atomID = 0;
    int32_t atomLength = 0;
    if (!readHeader(&atomID, &atomLength)) return false;
    if (atomID != id) {
        skip(atomLength);
        return false;
    }
    lastLength_ = atomLength;
    if (atomLength >= size) return readBytes(size, buffer) && skip(atomLength - size);
    if (zeroFill) std::memset(buffer, 0, static_cast<size_t>(size));
    return readBytes(atomLength, buffer);
}

bool kelAtomsFile::read(uint32_t id, int32_t* value)
{
    if (!value) return false;
    uint32_t v;
    if (!read(id, 4, &v)) return false;
    v = reversed(v, swap);
    std::memcpy(value, &v, 4);
    return true;
}

void kelAtomsFile::write(uint32_t id, int32_t size, const void* buffer)
{
    if (!isOpen() || size < 0 || (!buffer && size > 0)) {
        writeFailed = true;
        return;
    }
    uint8_t header[8];
    const uint32_t fileID = reversed(id, swap);
    const uint32_t fileLength = reversed(static_cast<uint32_t>(size), swap);
    std::memcpy(header, &fileID, 4);
    std::memcpy(header + 4, &fileLength, 4);
    if (!writeBytes(sizeof header, header) || !writeBytes(size, buffer)) writeFailed = true;
}

void kelAtomsFile::write(uint32_t id, int32_t value)
{
    const uint32_t v = reversed(static_cast<uint32_t>(value), swap);
    write(id, 4, &v);
}
