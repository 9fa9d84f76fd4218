// Why a file could not be written, in the person's words: every failure of
// the careful writer (platform/PlatFiles.h) is told by the reason its system
// error number stands for, wherever it is shown.
#pragma once

#include <cstdint>
#include <string>

// The reasons' lines of the message table.
constexpr int16_t kBLMsgReasonDiskFull = 189;
constexpr int16_t kBLMsgReasonNoPermission = 190;
constexpr int16_t kBLMsgReasonReadOnly = 191;
constexpr int16_t kBLMsgReasonNameTooLong = 192;
constexpr int16_t kBLMsgReasonNoFolder = 193;
constexpr int16_t kBLMsgReasonIsFolder = 194;
constexpr int16_t kBLMsgReasonTooLarge = 195;
constexpr int16_t kBLMsgReasonTempo = 196;
constexpr int16_t kBLMsgReasonTooLong = 197;
constexpr int16_t kBLMsgReasonOther = 198;
constexpr int16_t kBLMsgReasonNotAFile = 564;
// "No half-written file was left, and an older file of that name is kept as it was."
constexpr int16_t kBLMsgKeptOldFile = 199;

// The reason's message for an error number (errno); kBLMsgReasonOther for
// one it has no words of its own for, and for 0.
int16_t BL_WriteReasonMessage(int error);
// Its text in UTF-8, in the loaded language (English without a message
// table); for kBLMsgReasonOther the system's own words follow in brackets.
std::string BL_WriteReasonText(int error);
// A message line's text in UTF-8, English when no table is loaded (only
// the reasons and kBLMsgKeptOldFile have English words here).
std::string BL_ReasonMessageText(int16_t message);
