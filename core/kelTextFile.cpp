#include "core/kelTextFile.h"

#include <climits>
#include <string>

#include "core/kelFiles.h"
#include "core/kelRes.h"

bool kelTextFile::load(const char* path)
{
    kelFileRec ref;
    if (!path || !KEL_FileOpenReadOnly(path, &ref)) return false;
    long length = 0;
    kelText fresh;
    bool ok = KEL_FileGetLength(&ref, &length) && length < static_cast<long>(UINT32_MAX) &&
              fresh.grow(static_cast<uint32_t>(length) + 1);
    if (ok) {
        const long got = KEL_FileReadSome(&ref, length, fresh.data());
        ok = got == length;
        if (ok) fresh.data()[length] = '\0';
    }
    KEL_FileClose(&ref);
    if (ok) set(fresh);
    return ok;
}

bool kelTextFile::save(const char* path)
{
    KelSaveFile save;
    if (!path || !save.begin(path)) return false;
    return KEL_FileWrite(&save.file, len(), c_str()) && save.commit();
}

bool kelTextFile::loadResource(KelResFile* file, long type, long id)
{
    if (!file || !file->IsDataAvailable(type, id)) return false;
    const long length = file->GetDataLen(type, id);
    kelText fresh;
    if (length < 0 || length >= static_cast<long>(UINT32_MAX) ||
        !fresh.grow(static_cast<uint32_t>(length) + 1))
        return false;
    if (!file->LoadData(fresh.data(), length, type, id)) return false;
    fresh.data()[length] = '\0';
    set(fresh);
    return true;
}

bool kelTextFile::saveResource(KelResFile* file, long type, long id)
{
    return file && file->SaveData(c_str(), len(), type, id);
}
