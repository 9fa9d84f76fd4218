#include "core/BLInternational.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelRes.h"
#include "core/kelTextCodec.h"
#include "platform/Platform.h"

BLInternational blIntl;

namespace {

constexpr uint32_t kTypeText = kelFourCC("TEXT");
constexpr long kLanguageTableID = 1;
constexpr long kMessageTableBase = 100;

// Language codes of POSIX locales and the primary language identifiers of
// the system the language table was first written for.
struct LanguageCode {
    const char* code;
    int16_t id;
};
constexpr LanguageCode kLanguages[] = {
    {"ar", 0x01},  {"bg", 0x02},  {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
    {"el", 0x08},  {"en", 0x09},  {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
    {"is", 0x0F},  {"it", 0x10},  {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"no", 0x14}, {"nb", 0x14},
    {"nn", 0x14},  {"pl", 0x15},  {"pt", 0x16}, {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A},
    {"sr", 0x1A},  {"bs", 0x1A},  {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F},
    {"ur", 0x20},  {"id", 0x21},  {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26},
    {"lt", 0x27},  {"tg", 0x28},  {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C}, {"eu", 0x2D},
    {"hsb", 0x2E}, {"dsb", 0x2E}, {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39},
    {"mt", 0x3A},  {"se", 0x3B},  {"ga", 0x3C}, {"ms", 0x3E}, {"kk", 0x3F}, {"ky", 0x40}, {"sw", 0x41},
    {"tk", 0x42},  {"uz", 0x43},  {"tt", 0x44}, {"bn", 0x45}, {"pa", 0x46}, {"gu", 0x47}, {"ta", 0x49},
    {"te", 0x4A},  {"kn", 0x4B},  {"ml", 0x4C}, {"mr", 0x4E}, {"mn", 0x50}, {"cy", 0x52}, {"km", 0x53},
    {"lo", 0x54},  {"gl", 0x56},  {"si", 0x5B}, {"am", 0x5E}, {"ne", 0x61}, {"fy", 0x62}, {"ps", 0x63},
    {"fil", 0x64}, {"lb", 0x6E},  {"br", 0x7E}, {"oc", 0x82}, {"co", 0x83}, {"gd", 0x91},
};

}  // namespace

int16_t BL_LanguageFromLocale(const char* locale)
{
    if (!locale) return 0;
    // "fr_FR.UTF-8", "de_DE@euro", "pt-BR": the language is the part before
    // the territory, the encoding and the modifier.
    char code[8] = {};
    size_t n = 0;
    for (const char* p = locale; *p && *p != '_' && *p != '-' && *p != '.' && *p != '@'; ++p) {
        if (n + 1 >= sizeof code || !std::isalpha(static_cast<unsigned char>(*p))) return 0;
        code[n++] = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    for (const LanguageCode& l : kLanguages)
        if (std::strcmp(l.code, code) == 0) return static_cast<int16_t>(l.id & 0x3FF);
    return 0;
}

int16_t BL_SystemLanguage()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return BL_LanguageFromLocale(value);
    }
    return 0;
}

void BLInternational::start(KelResFile* file)
{
    start(file, BL_SystemLanguage());
}

void BLInternational::start(KelResFile* file, int16_t systemLanguage)
{
    resFile = file;
    language = static_cast<int16_t>(systemLanguage & 0x3FF);
    textSet = 0;
    languages.set("");
    messages.set("");
    if (!file) return;
    if (languages.loadResource(file, kTypeText, kLanguageTableID)) {
        for (long i = 0;; ++i) {
            const kelText line = languages.item(i, '\r');
            if (line.isEmpty()) break;
            if (line.item(2, ',').toLong() == language) {
                textSet = line.item(3, ',').toShort();
                break;
            }
        }
    }
    // A language whose table is missing falls back to the first table rather
    // than to empty boxes.
    if (!messages.loadResource(file, kTypeText, kMessageTableBase + textSet))
        messages.loadResource(file, kTypeText, kMessageTableBase);
}

kelText BLInternational::message(long n) const
{
    return messages.item(n, '\r');
}

kelText BLInternational::title(int16_t kind) const
{
    return message(kind + 1L).item(0, ',');
}

int16_t BLInternational::notify(int16_t message, int16_t kind)
{
    if (kind < 0) kind = 0;
    if (kind > 2) kind = 2;
    return KEL_ShowBox(KEL_Latin1ToUtf8(this->title(kind).c_str()),
                       KEL_Latin1ToUtf8(this->message(message).c_str()), kind);
}

std::string BLInternational::messageWithNames(int16_t message,
                                              std::initializer_list<std::string_view> names) const
{
    return messageWithNames(message, std::vector<std::string>(names.begin(), names.end()));
}

std::string BLInternational::messageWithNames(int16_t message, const std::vector<std::string>& names) const
{
    // The table's text is 8-bit and becomes UTF-8 first; the names go in
    // as UTF-8, so that no character of either is read as the other.
    const std::string text = KEL_Latin1ToUtf8(this->message(message).c_str());
    std::string out;
    auto name = names.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            if (name != names.end()) out += KEL_NameToUtf8(*name++);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

int16_t BLInternational::notifyNames(int16_t message, int16_t kind, const std::vector<std::string>& names)
{
    if (kind < 0) kind = 0;
    if (kind > 2) kind = 2;
    return KEL_ShowBox(KEL_Latin1ToUtf8(this->title(kind).c_str()), messageWithNames(message, names), kind);
}

int16_t BLInternational::notifyNames(int16_t message, int16_t kind,
                                     std::initializer_list<std::string_view> names)
{
    if (kind < 0) kind = 0;
    if (kind > 2) kind = 2;
    return KEL_ShowBox(KEL_Latin1ToUtf8(this->title(kind).c_str()), messageWithNames(message, names), kind);
}

int16_t BL_NotifyNames(int16_t messageId, int16_t buttons, std::initializer_list<std::string_view> names)
{
    return blIntl.notifyNames(messageId, buttons, names);
}

int16_t BL_NotifyNames(int16_t messageId, int16_t buttons, const std::vector<std::string>& names)
{
    return blIntl.notifyNames(messageId, buttons, names);
}

int16_t BL_Notify(int16_t messageId, int16_t buttons)
{
    return blIntl.notify(messageId, buttons);
}

bool BL_ConfirmQuit()
{
    if (BL_Notify(kBLMsgQuitQuestion, plat::kBoxYesNo) != plat::kBoxResultYes) return false;
    kelGlo.running = 0;
    return true;
}
