// Atoms files: a 4-byte magic, then atoms of a 32-bit id, a 32-bit length and
// that many bytes, read back in the order they were written (the groove
// document is one). Header fields and 32-bit values follow the byte order the
// magic shows; data blocks are stored as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "core/kelFiles.h"

constexpr uint32_t kKelAtomsMagic = 0x41467367;

class kelAtomsFile {
public:
    kelAtomsFile() = default;
    // The owner closes first; destruction alone does not.
    ~kelAtomsFile() = default;
    kelAtomsFile(const kelAtomsFile&) = delete;
    kelAtomsFile& operator=(const kelAtomsFile&) = delete;

    bool openForRead(const char* path);
    bool openForWrite(const char* path);
    // Writes into a file already open for writing (a KelSaveFile's), which
    // this object takes over and closes.
    bool openForWrite(kelFileRec* opened);
    // The same atoms in memory: read from `size` bytes at `bytes` (kept by
    // the caller until close), or appended to `out`.
    bool openForRead(const uint8_t* bytes, size_t size);
    bool openForWrite(std::vector<uint8_t>* out);
    bool close();

    // Reads the next atom into buffer: true when it has this id and its data
    // was read. Another id is skipped (false); a longer atom is cut to size
    // and its rest skipped; a shorter one fills the start of the buffer, the
    // rest cleared first when zero fill is on.
    bool read(uint32_t id, int32_t size, void* buffer);
    bool read(uint32_t id, int32_t* value);
    // Reads the next atom whatever its id, its data cut to `maxSize` bytes;
    // false at the end or on damage.
    bool readNext(uint32_t* id, std::vector<uint8_t>* data, int32_t maxSize);
    // Writing reports nothing per atom; failed() tells whether any write of
    // this file went wrong, so a caller can keep the old file.
    void write(uint32_t id, int32_t size, const void* buffer);
    void write(uint32_t id, int32_t value);
    bool failed() const { return writeFailed; }
    // The length the last atom read had in the file (-1 when none was read).
    int32_t lastLength() const { return lastLength_; }
    // The id of the last atom whose header was read (0 before any, and
    // after a header cut off), its data read or not.
    uint32_t lastId() const { return lastId_; }
    // Reading met damage (a header cut off, a length running past the end
    // or negative), not the file's clean end; the bytes that stood after the
    // damaged header.
    bool damaged() const { return damaged_; }
    long bytesAfterDamage() const { return bytesAfterDamage_; }

    bool isOpen() const { return file.handle != 0 || memoryIn != nullptr || memoryOut != nullptr; }

    bool swap = false;
    bool zeroFill = true;

private:
    bool readBytes(long count, void* buffer);
    bool skip(long count);

    bool writeBytes(long count, const void* buffer);
    bool readHeader(uint32_t* id, int32_t* atomLength);

    kelFileRec file;
    const uint8_t* memoryIn = nullptr;
    std::vector<uint8_t>* memoryOut = nullptr;
    long position = 0;  // reading: where the next atom starts
    long length = 0;    // reading: the file's length
    bool writeFailed = false;
    int32_t lastLength_ = -1;
    uint32_t lastId_ = 0;
    bool damaged_ = false;
    long bytesAfterDamage_ = 0;
};
