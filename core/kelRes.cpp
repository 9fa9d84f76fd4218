#include "core/kelRes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/kelBytes.h"
#include "core/kelCore.h"

namespace {

// Types and ids are 32-bit values; callers hand them over as long.
int32_t code32(long v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

}  // namespace

KelResFile::KelResFile() = default;

KelResFile::~KelResFile()
{
    Close();
}

void KelResFile::Fail(const char* reason)
{
    std::snprintf(openError, sizeof openError, "%s", reason);
}

bool KelResFile::SetWorkName(const char* name)
{
    if (!name || std::strlen(name) >= sizeof workName) return false;
    std::strcpy(workName, name);
    nameSet = 1;
    return true;
}

void KelResFile::DefaultHeader()
{
    header = kelResHeader{};
    header.capacity = createCapacity > 0 ? createCapacity : kKelResCapacity;
    header.count = 0;
    endOfFile = kKelResHeaderSize + static_cast<int32_t>(header.capacity) * kKelResElemSize;
    modified = 1;
}

bool KelResFile::LoadHeader()
{
    uint8_t bytes[kKelResHeaderSize];
    if (!KEL_FileSetPos(&fileRef, 0) || KEL_FileReadSome(&fileRef, sizeof bytes, bytes) != sizeof bytes) {
        Fail("shorter than its 8-byte header");
        return false;
    }
    header.version = static_cast<int16_t>(kelGetBE16(bytes));
    header.capacity = static_cast<int16_t>(kelGetBE16(bytes + 2));
    header.count = static_cast<int16_t>(kelGetBE16(bytes + 4));
    header.reserved = static_cast<int16_t>(kelGetBE16(bytes + 6));
    // A table without room is what a zero-filled file shows: nothing could
    // ever be stored in it.
    if (header.capacity <= 0 || header.count < 0 || header.count > header.capacity) {
        std::snprintf(openError, sizeof openError, "damaged header: count %d, capacity %d", header.count,
                      header.capacity);
        return false;
    }
    return true;
}

bool KelResFile::SaveHeader()
{
    uint8_t bytes[kKelResHeaderSize];
    kelPutBE16(bytes, static_cast<uint16_t>(kKelResVersion));
    kelPutBE16(bytes + 2, static_cast<uint16_t>(header.capacity));
    kelPutBE16(bytes + 4, static_cast<uint16_t>(header.count));
    kelPutBE16(bytes + 6, 0);
    return KEL_FileSetPos(&fileRef, 0) && KEL_FileWrite(&fileRef, sizeof bytes, bytes);
}

void KelResFile::CreateElemsTable()
{
    elems.assign(static_cast<size_t>(header.capacity), kelResElem{});
}

void KelResFile::DisposeElemsTable()
{
    elems.clear();
    elems.shrink_to_fit();
}

bool KelResFile::LoadElemsTable(long fileLength)
{
    const long tableBytes = static_cast<long>(header.count) * kKelResElemSize;
    std::vector<uint8_t> bytes(static_cast<size_t>(tableBytes));
    if (!KEL_FileSetPos(&fileRef, kKelResHeaderSize) ||
        KEL_FileReadSome(&fileRef, tableBytes, bytes.data()) != tableBytes) {
        std::snprintf(openError, sizeof openError, "element table of %d entries cut short", header.count);
        return false;
    }
    // A damaged entry would make reads run off the file and appends land far
    // beyond it, so such a file is refused whole.
    const long dataStart = kKelResHeaderSize + static_cast<long>(header.capacity) * kKelResElemSize;
    for (int16_t i = 0; i < header.count; ++i) {
        const uint8_t* p = bytes.data() + static_cast<size_t>(i) * kKelResElemSize;
        kelResElem& e = elems[static_cast<size_t>(i)];
        e.id = static_cast<int32_t>(kelGetBE32(p));
        e.type = static_cast<int32_t>(kelGetBE32(p + 4));
        e.length = static_cast<int32_t>(kelGetBE32(p + 8));
        e.offset = static_cast<int32_t>(kelGetBE32(p + 12));
        const long end = static_cast<long>(e.offset) + e.length;
        const char* fault = nullptr;
        if (e.length < 0)
            fault = "negative length";
        else if (e.offset < 0)
            fault = "negative offset";
        else if (end > fileLength)
            fault = "payload runs past the end of the file";
        else if (e.length > 0 && e.offset < dataStart)
            fault = "payload overlaps the element table";
        if (fault) {
            std::snprintf(openError, sizeof openError, "entry %d (id %d): %s", i, e.id, fault);
            return false;
        }
    }
    return true;
}

bool KelResFile::SaveElemsTable()
{
    // Entries beyond count are written as zeros.
    std::vector<uint8_t> bytes(static_cast<size_t>(header.capacity) * kKelResElemSize, 0);
    for (int16_t i = 0; i < header.count; ++i) {
        uint8_t* p = bytes.data() + static_cast<size_t>(i) * kKelResElemSize;
        const kelResElem& e = elems[static_cast<size_t>(i)];
        kelPutBE32(p, static_cast<uint32_t>(e.id));
        kelPutBE32(p + 4, static_cast<uint32_t>(e.type));
        kelPutBE32(p + 8, static_cast<uint32_t>(e.length));
        kelPutBE32(p + 12, static_cast<uint32_t>(e.offset));
    }
    return KEL_FileSetPos(&fileRef, kKelResHeaderSize) &&
           KEL_FileWrite(&fileRef, static_cast<long>(bytes.size()), bytes.data());
}

void KelResFile::RetrieveEndOfFilePos()
{
    // Never inside the table, also for containers larger than the program makes.
    long end = std::max<long>(kKelResEmptySize,
                              kKelResHeaderSize + static_cast<long>(header.capacity) * kKelResElemSize);
    for (int16_t i = 0; i < header.count; ++i) {
        const kelResElem& e = elems[static_cast<size_t>(i)];
        end = std::max(end, static_cast<long>(e.offset) + e.length);
    }
    endOfFile = static_cast<int32_t>(std::min<long>(end, INT32_MAX));
}

bool KelResFile::Create()
{
    openError[0] = '\0';
    if (!nameSet) {
        Fail("no file name");
        return false;
    }
    if (isOpen) Close();
    if (KEL_FileExists(workName)) {
        Fail("file exists already");
        return false;
    }
    if (!KEL_FileCreateAndOpen(workName, &fileRef)) {
        Fail("cannot create the file");
        return false;
    }
    readOnly = false;
    DefaultHeader();
    CreateElemsTable();
    if (!SaveHeader() || !SaveElemsTable()) {
        Fail("cannot write the empty table");
        KEL_FileAbandon(&fileRef);
        DisposeElemsTable();
        return false;
    }
    isOpen = 1;
    cursor = -1;
    return true;
}

bool KelResFile::CreateOn(kelFileRec* opened)
{
    openError[0] = '\0';
    if (isOpen) Close();
    if (!opened || opened->handle == 0) {
        Fail("no file");
        return false;
    }
    fileRef = *opened;
    opened->handle = 0;
    readOnly = false;
    DefaultHeader();
    CreateElemsTable();
    if (!SaveHeader() || !SaveElemsTable()) {
        Fail("cannot write the empty table");
        KEL_FileClose(&fileRef);
        DisposeElemsTable();
        return false;
    }
    isOpen = 1;
    cursor = -1;
    return true;
}

bool KelResFile::Open()
{
    openError[0] = '\0';
    damaged = false;
    if (!nameSet) {
        Fail("no file name");
        return false;
    }
    if (isOpen) Close();
    readOnly = openReadOnly != 0;
    // The file is checked through a read-only handle first: closing a
    // writable handle sets the file's end, which must not happen to a file
    // that turns out to be damaged.
    if (!KEL_FileOpenReadOnly(workName, &fileRef)) {
        Fail(KEL_FileExists(workName) ? "cannot open the file" : "no such file");
        return false;
    }
    long fileLength = 0;
    DefaultHeader();
    bool ok = KEL_FileGetLength(&fileRef, &fileLength) && LoadHeader();
    if (ok) {
        modified = 0;
        CreateElemsTable();
        ok = LoadElemsTable(fileLength);
    }
    damaged = !ok && openError[0] != '\0';
    if (ok && !readOnly) {
        KEL_FileClose(&fileRef);
        ok = KEL_FileOpen(workName, &fileRef);
        if (!ok) Fail("cannot open the file for writing");
    }
    if (!ok) {
        if (!openError[0]) Fail("cannot read the file");
        DisposeElemsTable();
        if (fileRef.handle) KEL_FileClose(&fileRef);
        return false;
    }
    RetrieveEndOfFilePos();
    isOpen = 1;
    cursor = -1;
    return true;
}

bool KelResFile::CreateOrOpen()
{
    return Open() || Create();
}

bool KelResFile::Close()
{
    if (!isOpen) return false;
    bool ok = true;
    if (modified && !readOnly) {
        ok = SaveHeader() && SaveElemsTable();
        modified = 0;
    }
    DisposeElemsTable();
    if (!readOnly) ok = KEL_FileSetPos(&fileRef, endOfFile) && ok;
    if (ok) {
        ok = KEL_FileClose(&fileRef);
    } else {
        KEL_FileAbandon(&fileRef);  // a file being made is not put in place half-written
    }
    isOpen = 0;
    cursor = -1;
    return ok;
}

int32_t KelResFile::FindElem(int32_t type, int32_t id)
{
    if (cursor >= 0 && cursor < header.count) {
        const kelResElem& e = elems[static_cast<size_t>(cursor)];
        if (e.type == type && e.id == id) return cursor;
    }
    for (int16_t i = 0; i < header.count; ++i) {
        const kelResElem& e = elems[static_cast<size_t>(i)];
        if (e.type == type && e.id == id) {
            cursor = i;
            return cursor;
        }
    }
    cursor = -1;
    return -1;
}

bool KelResFile::IsDataAvailable(long type, long id)
{
    return isOpen && FindElem(code32(type), code32(id)) >= 0;
}

bool KelResFile::IsDataLenAvailable(long length, long type, long id)
{
    return IsDataAvailable(type, id) && elems[static_cast<size_t>(cursor)].length == length;
}

long KelResFile::GetDataLen(long type, long id)
{
    return IsDataAvailable(type, id) ? elems[static_cast<size_t>(cursor)].length : 0;
}

int16_t KelResFile::GetItemsCount(long type)
{
    if (!isOpen) return 0;
    int16_t n = 0;
    for (int16_t i = 0; i < header.count; ++i)
        if (elems[static_cast<size_t>(i)].type == code32(type)) ++n;
    return n;
}

long KelResFile::GetItemIndexID(long type, int16_t n)
{
    if (!isOpen) return 0;
    if (n < 0) return -1;
    for (int16_t i = 0; i < header.count; ++i) {
        const kelResElem& e = elems[static_cast<size_t>(i)];
        if (e.type == code32(type) && n-- == 0) return e.id;
    }
    return -1;
}

bool KelResFile::GetElem(int16_t index, kelResElem* elem) const
{
    if (!isOpen || !elem || index < 0 || index >= header.count) return false;
    *elem = elems[static_cast<size_t>(index)];
    return true;
}

bool KelResFile::SaveData(const char* data, long length, long type, long id)
{
    if (!isOpen || readOnly || length < 0 || (!data && length > 0)) return false;
    modified = 1;
    int32_t index = FindElem(code32(type), code32(id));
    const bool added = index < 0;
    kelResElem before;
    if (added) {
        if (header.count >= header.capacity) return false;
        index = header.count++;
        kelResElem& e = elems[static_cast<size_t>(index)];
        e = kelResElem{code32(id), code32(type), 0, endOfFile};
        cursor = index;
    } else {
        before = elems[static_cast<size_t>(index)];
        if (before.length < length) {
            elems[static_cast<size_t>(index)].offset = endOfFile;
            elems[static_cast<size_t>(index)].length = 0;
        }
    }
    kelResElem& e = elems[static_cast<size_t>(index)];
    const bool fits = static_cast<long>(e.offset) + length <= INT32_MAX;
    if (!fits || !KEL_FileSetPos(&fileRef, e.offset) || !KEL_FileWrite(&fileRef, length, data)) {
        // A new entry is dropped again; a moved one keeps its old, intact place.
        if (added) {
            --header.count;
            cursor = -1;
        } else {
            e = before;
        }
        return false;
    }
    e.length = static_cast<int32_t>(length);
    endOfFile = std::max(endOfFile, static_cast<int32_t>(e.offset + e.length));
    return true;
}

bool KelResFile::LoadData(char* buffer, long length, long type, long id)
{
    if (!buffer && length > 0) return false;
    if (!IsDataLenAvailable(length, type, id)) return false;
    const kelResElem& e = elems[static_cast<size_t>(cursor)];
    if (length == 0) return true;
    return KEL_FileSetPos(&fileRef, e.offset) && KEL_FileReadSome(&fileRef, length, buffer) == length;
}

bool KelResFile::GetData(char** data, long type, long id)
{
    if (!data || !IsDataAvailable(type, id)) return false;
    const long length = elems[static_cast<size_t>(cursor)].length;
    // An empty payload still gets a buffer, so success always hands one over.
    void* p = nullptr;
    if (!KEL_NewPtr(&p, std::max(length, 1L))) return false;
    if (!LoadData(static_cast<char*>(p), length, type, id)) {
        KEL_DisposePtr(&p);
        return false;
    }
    *data = static_cast<char*>(p);
    return true;
}
