#include "core/BLWriteReason.h"

#include <cerrno>
#include <cstring>

#include "core/BLInternational.h"
#include "core/kelTextCodec.h"

namespace {

struct English {
    int16_t message;
    const char* text;
};
// As the message table has them, for a program run without it (a terminal
// tool, a test).
constexpr English kEnglish[] = {
    {kBLMsgReasonDiskFull, "the disk is full"},
    {kBLMsgReasonNoPermission, "you may not write in that folder"},
    {kBLMsgReasonReadOnly, "the disk is read-only"},
    {kBLMsgReasonNameTooLong, "a name is too long"},
    {kBLMsgReasonNoFolder, "the folder does not exist"},
    {kBLMsgReasonIsFolder, "a folder has that name"},
    {kBLMsgReasonTooLarge, "the file would be larger than this system allows"},
    {kBLMsgReasonOther, "the system refused to write it"},
    {kBLMsgReasonNotAFile, "something that is not a file has that name"},
    {kBLMsgKeptOldFile, "No half-written file was left, and an older file of that name is kept as it was."},
};

}  // namespace

int16_t BL_WriteReasonMessage(int error)
{
    switch (error) {
        case ENOSPC:
        case EDQUOT: return kBLMsgReasonDiskFull;
        case EACCES:
        case EPERM: return kBLMsgReasonNoPermission;
        case EROFS: return kBLMsgReasonReadOnly;
        case ENAMETOOLONG: return kBLMsgReasonNameTooLong;
        case ENOENT:
        case ENOTDIR: return kBLMsgReasonNoFolder;
        case EISDIR: return kBLMsgReasonIsFolder;
        case EFBIG: return kBLMsgReasonTooLarge;
        case EINVAL: return kBLMsgReasonNotAFile;  // a pipe, a device ... in the file's place
        default: return kBLMsgReasonOther;
    }
}

std::string BL_ReasonMessageText(int16_t message)
{
    const kelText table = blIntl.message(message);
    if (!table.isEmpty()) return KEL_Latin1ToUtf8(table.c_str());
    for (const English& e : kEnglish)
        if (e.message == message) return e.text;
    return {};
}

std::string BL_WriteReasonText(int error)
{
    const int16_t reason = BL_WriteReasonMessage(error);
    std::string text = BL_ReasonMessageText(reason);
    if (reason == kBLMsgReasonOther && error) text += std::string(" (") + std::strerror(error) + ")";
    return text;
}
