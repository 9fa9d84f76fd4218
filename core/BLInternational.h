// Message texts by language: the language table ('TEXT' 1) picks the text
// set, the message table ('TEXT' 100 + text set) holds one message a line.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/kelText.h"
#include "core/kelTextFile.h"

class KelResFile;

// Message numbers the core itself asks.
constexpr int16_t kBLMsgQuitQuestion = 52;

class BLInternational {
public:
    // Reads the system's language, then chooses and loads the message table.
    void start(KelResFile* file);
    void start(KelResFile* file, int16_t systemLanguage);

    // Shows message `message` in a modal box of the given kind (clamped to
    // 0..2: OK; Yes/No, default No; Yes/No/Cancel, default Cancel). Returns 1
    // for OK or Yes, 2 for No, 3 for Cancel.
    int16_t notify(int16_t message, int16_t kind);
    // The same with each "%s" of the message standing, in order, for one of
    // the names (of files, folders, songs: UTF-8, or 8-bit text when they do
    // not read as UTF-8); "%%" reads as "%". Names are never cut.
    int16_t notifyNames(int16_t message, int16_t kind, std::initializer_list<std::string_view> names);
    int16_t notifyNames(int16_t message, int16_t kind, const std::vector<std::string>& names);
    // That text, in UTF-8.
    std::string messageWithNames(int16_t message, std::initializer_list<std::string_view> names) const;
    std::string messageWithNames(int16_t message, const std::vector<std::string>& names) const;

    // Line n of the message table, empty past its end.
    kelText message(long n) const;
    // The title of a box kind: the first field of line kind + 1.
    kelText title(int16_t kind) const;

    int16_t textSet = 0;
    int16_t language = 0;
    KelResFile* resFile = nullptr;
    kelTextFile languages;
    kelTextFile messages;
};

extern BLInternational blIntl;

int16_t BL_Notify(int16_t messageId, int16_t buttons);
int16_t BL_NotifyNames(int16_t messageId, int16_t buttons, std::initializer_list<std::string_view> names);
int16_t BL_NotifyNames(int16_t messageId, int16_t buttons, const std::vector<std::string>& names);

// The quit question: true, with kelGlo.running cleared, when the user answers Yes.
bool BL_ConfirmQuit();

// Primary language identifiers (as the language table counts them: 9 English,
// 12 French, 7 German ...) of a POSIX locale name such as "fr_FR.UTF-8";
// 0 (neutral) for "C", "POSIX", an empty or an unknown name.
int16_t BL_LanguageFromLocale(const char* locale);
// The system's language from LC_ALL, LC_MESSAGES or LANG, the first one set.
int16_t BL_SystemLanguage();
