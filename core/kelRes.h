// The resource file: typed, numbered payloads behind a fixed-capacity element
// table ("Beatloom.xrs", "Beatloom.prf", help files).
//
// Layout, every integer of header and table big-endian:
//   0  int16 version (1)     2  int16 capacity     4  int16 count    6  int16 reserved
//   8  capacity entries of 16 bytes: int32 id, int32 type, int32 length, int32 offset
//   then the data area, payloads at the offsets their entries give.
#pragma once

#include <cstdint>
#include <vector>

#include "core/kelFiles.h"

constexpr int16_t kKelResVersion = 1;
constexpr int16_t kKelResCapacity = 1000;
constexpr int32_t kKelResHeaderSize = 8;
constexpr int32_t kKelResElemSize = 16;
// An empty container as the program creates it; the first payload goes here.
constexpr int32_t kKelResEmptySize = kKelResHeaderSize + kKelResElemSize * kKelResCapacity;  // 16008

struct kelResElem {
    int32_t id = 0;
    int32_t type = 0;
    int32_t length = 0;
    int32_t offset = 0;
};

struct kelResHeader {
    int16_t version = kKelResVersion;
    int16_t capacity = 0;
    int16_t count = 0;
    int16_t reserved = 0;
};

class KelResFile {
public:
    KelResFile();
    ~KelResFile();
    KelResFile(const KelResFile&) = delete;
    KelResFile& operator=(const KelResFile&) = delete;

    // Set by the owner before Open.
    uint8_t openReadOnly = 0;
    // Entries a container made by Create holds; the program's own files keep
    // the usual 1000, a skin of many pictures may ask for more.
    int16_t createCapacity = kKelResCapacity;

    // False (and nothing changed) for a name that does not fit.
    bool SetWorkName(const char* name);
    bool Create();
    // Creates an empty container in a file already open for writing (a
    // KelSaveFile's), which the object takes over and closes.
    bool CreateOn(kelFileRec* opened);
    bool Open();
    bool CreateOrOpen();
    bool Close();

    bool SaveData(const char* data, long length, long type, long id);
    bool LoadData(char* buffer, long length, long type, long id);
    // The caller frees *data with KEL_DisposePtr.
    bool GetData(char** data, long type, long id);
    bool IsDataAvailable(long type, long id);
    bool IsDataLenAvailable(long length, long type, long id);
    int16_t GetItemsCount(long type);
    long GetItemIndexID(long type, int16_t n);
    long GetDataLen(long type, long id);

    // The whole table in order, for tools that list a file.
    bool IsOpen() const { return isOpen != 0; }
    int16_t GetElemsCount() const { return isOpen ? header.count : 0; }
    int16_t GetCapacity() const { return isOpen ? header.capacity : 0; }
    bool GetElem(int16_t index, kelResElem* elem) const;
    // Why the last Open or Create failed, in words; empty after success.
    const char* GetOpenError() const { return openError; }
    // The last Open found the file but not a sound container in it (cut
    // short, zero-filled, entries out of the file).
    bool IsDamaged() const { return damaged; }

private:
    void DefaultHeader();
    bool LoadHeader();
    bool SaveHeader();
    void CreateElemsTable();
    void DisposeElemsTable();
    bool LoadElemsTable(long fileLength);
    bool SaveElemsTable();
    void RetrieveEndOfFilePos();
    int32_t FindElem(int32_t type, int32_t id);
    void Fail(const char* reason);

    char workName[255] = {};
    uint8_t nameSet = 0;
    uint8_t isOpen = 0;
    std::vector<kelResElem> elems;
    kelResHeader header;
    int32_t endOfFile = kKelResEmptySize;
    kelFileRec fileRef;
    int32_t cursor = -1;
    uint8_t modified = 0;
    bool readOnly = false;
    bool damaged = false;
    char openError[120] = {};
};
