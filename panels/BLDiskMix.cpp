#include "panels/BLDiskMix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "audio/BLEngine.h"
#include "audio/QualMix.h"
#include "core/kelFiles.h"
#include "library/BLMixScript.h"
#include "library/BLSongLibrary.h"

namespace {

constexpr char kTempConvertName[] = "TempSoundConvertFile";

std::string withExtension(const std::string& path, uint32_t code)
{
    std::vector<char> buffer(path.size() + 16);
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    if (!kelQt_soundConvert_setFileExtension(buffer.data(), code, static_cast<int>(buffer.size())))
        return path;
    return buffer.data();
}

// The folder part of a kel path, with its ':' (empty for a bare name).
std::string folderOf(const std::string& path)
{
    const size_t colon = path.rfind(':');
    return colon == std::string::npos ? std::string() : path.substr(0, colon + 1);
}

bool converting(const BLDiskMixJob& job)
{
    return job.format != kelQtFormatNative || job.normalize;
}

// Empties the stems folder of its files (folders in it stay), or makes it.
// The listing is read again after each deletion, a round per file seen at most.
bool prepareFolder(const std::string& folder, BLDiskMixFeedback& feedback)
{
    std::vector<KelFolderEntry> entries;
    if (!KEL_ListFolder(folder.c_str(), entries)) {
        if (KEL_CreateDirectory(folder.c_str())) return true;
        feedback.notify(kBLMsgFolderNotCreated);
        return false;
    }
    for (size_t round = 0; round <= entries.size() + 1; ++round) {
        std::vector<KelFolderEntry> now;
        if (!KEL_ListFolder(folder.c_str(), now)) break;
        auto file = std::find_if(now.begin(), now.end(), [](const KelFolderEntry& e) { return !e.folder; });
        if (file == now.end()) return true;
        if (!KEL_FileDelete((folder + ":" + file->name).c_str())) break;
    }
    feedback.notify(kBLMsgFolderNotEmptied);
    return false;
}

struct Runner {
    const BLDiskMixJob& job;
    BLEngine& engine;
    BLDiskMixFeedback& feedback;
    BLDiskMixOutcome outcome;

    bool writeScript(int16_t filter, bool& hasTrack)
    {
        const BLMixScript script = BLMixScript_Make(job.tempo, *job.sequence, *job.library, filter);
        hasTrack = script.hasTrack;
        if (!hasTrack) return true;
        if (BLMixScript_Save(job.scriptPath.c_str(), script)) return true;
        feedback.notify(kBLMsgScriptNotWritten);
        outcome.failed = true;
        return false;
    }

    // Renders the script to wavPath; false when the disk mix ends here.
    bool render(const std::string& wavPath)
    {
        const int result = engine.mixToDisk(wavPath.c_str(), job.scriptPath.c_str());
        if (result == kQualMixWritten) return true;
        if (result == kQualMixStopped) {
            outcome.stopped = true;
        } else {
            outcome.failed = true;
            feedback.notify(kBLMsgMixFailed);
        }
        return false;
    }

    // Converts a rendered WAV; false when the disk mix was stopped.
    bool convert(const std::string& wavPath)
    {
        std::string final;
        switch (BLDiskMix_Convert(wavPath, job.format, job.settings, job.normalize, &final)) {
            case kelQtConvertResult::done: outcome.files.push_back(final); return true;
            case kelQtConvertResult::stopped:
                outcome.files.push_back(wavPath);
                outcome.stopped = true;
                return false;
            case kelQtConvertResult::failed: break;
        }
        outcome.files.push_back(wavPath);
        outcome.conversionFailed = true;
        return true;
    }

    void oneFile()
    {
        const std::string wav = withExtension(job.path, kelQtFormatNative);
        const bool convert = converting(job);
        feedback.message(kBLMsgMixing);
        feedback.subAmountRange(convert ? 0.5f : 1.0f);
        bool hasTrack = false;
        if (!writeScript(kBLMixAllGroups, hasTrack)) return;
        if (!hasTrack) {
            outcome.nothingToMix = true;
            feedback.notify(kBLMsgNothingToMix);
            return;
        }
        if (!render(wav)) return;
        if (!convert) {
            outcome.files.push_back(wav);
            return;
        }
        feedback.amount(0.5f);
        feedback.message(job.format == kelQtFormatNative ? kBLMsgNormalizing : kBLMsgConverting);
        feedback.subAmountRange(0.5f);
        this->convert(wav);
    }

    void stems()
    {
        const std::string folder = job.path;
        feedback.message(kBLMsgPreparingFolder);
        feedback.setStopMode(true);
        if (!prepareFolder(folder, feedback)) {
            outcome.failed = true;
            return;
        }
        const int16_t groups = job.library->groupCount;
        const bool convert = converting(job);
        float step = groups > 0 ? 1.0f / groups : 1.0f;
        if (convert) step /= 2;
        float position = 0;
        std::set<std::string> names;
        bool anyTrack = false;
        for (int16_t g = 0; g < groups; ++g) {
            feedback.message(kBLMsgMixingGroups);
            feedback.amount(position);
            feedback.subAmountRange(step);
            if (feedback.shouldStop()) {
                outcome.stopped = true;
                return;
            }
            position += step;
            bool hasTrack = false;
            if (!writeScript(g, hasTrack)) return;
            if (hasTrack) {
                anyTrack = true;
                // Two groups of one name must not overwrite each other's file.
                const std::string base = BLDiskMix_FileNameOf(job.library->groups[g].name, g);
                std::string name = base;
                for (int n = 2; names.count(name); ++n) name = base + " " + std::to_string(n);
                names.insert(name);
                const std::string wav = folder + ":" + name + ".wav";
                if (!render(wav)) return;
                if (convert) {
                    feedback.message(kBLMsgConvertingGroup);
                    feedback.amount(position);
                    feedback.subAmountRange(step);
                    position += step;
                    if (!this->convert(wav)) return;
                } else {
                    outcome.files.push_back(wav);
                }
            } else if (convert) {
                position += step;
            }
            if (feedback.shouldStop()) {
                outcome.stopped = true;
                return;
            }
        }
        if (!anyTrack) {
            outcome.nothingToMix = true;
            feedback.notify(kBLMsgNothingToMix);
        }
    }
};

}  // namespace

std::string BLDiskMix_FileNameOf(const char* groupName, int16_t group)
{
    std::string name;
    for (const char* p = groupName ? groupName : ""; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        name += c < 0x20 || c == ':' || c == '/' || c == '\\' || c == 0x7F ? '_' : static_cast<char>(c);
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    if (name.empty() || name[0] == '.') name = "Group " + std::to_string(group + 1) + name;
    return name;
}

kelQtConvertResult BLDiskMix_Convert(const std::string& wavPath, uint32_t format,
                                     const kelQtSettingsHandle* settings, bool normalize,
                                     std::string* finalPath)
{
    const std::string temp = withExtension(folderOf(wavPath) + kTempConvertName, format);
    KEL_FileDelete(temp.c_str());
    kelQtConvertOptions options;
    options.normalize = normalize;
    const kelQtConvertResult result =
        kelQt_soundConvert_run(wavPath.c_str(), temp.c_str(), format, settings, options);
    if (result != kelQtConvertResult::done) {
        KEL_FileDelete(temp.c_str());
        return result;
    }
    const std::string final = withExtension(wavPath, format);
    if (!KEL_FileRename(temp.c_str(), final.c_str())) {
        KEL_FileDelete(temp.c_str());
        return kelQtConvertResult::failed;
    }
    if (final != wavPath) KEL_FileDelete(wavPath.c_str());
    if (finalPath) *finalPath = final;
    return kelQtConvertResult::done;
}

BLDiskMixOutcome BLDiskMix_Run(const BLDiskMixJob& job, BLEngine& engine, BLDiskMixFeedback& feedback)
{
    Runner runner{job, engine, feedback, {}};
    if (!job.library || !job.sequence) {
        runner.outcome.failed = true;
        return runner.outcome;
    }
    QualMix_SetQuality(job.quality);
    QualMix_SetKeyLock(job.keyLock);
    feedback.show();
    feedback.setStopMode(true);
    if (job.target == 1) {
        runner.stems();
    } else {
        runner.oneFile();
    }
    feedback.amount(1.0f);
    feedback.hide();
    if (runner.outcome.conversionFailed) feedback.notify(kBLMsgConversionFailed);
    return runner.outcome;
}

BLDiskMixOutcome BLDiskMix_ArpMix(const std::string& path, uint32_t format, const kelQtSettingsHandle* settings,
                                  bool normalize, const std::function<void(const std::string& wav)>& render,
                                  BLDiskMixFeedback& feedback)
{
    BLDiskMixOutcome outcome;
    const std::string wav = withExtension(path, kelQtFormatNative);
    const bool convert = format != kelQtFormatNative || normalize;
    feedback.show();
    feedback.setStopMode(false);
    feedback.message(kBLMsgArpMixing);
    feedback.subAmountRange(convert ? 0.5f : 1.0f);
    // An old file of that name must not pass for the new render.
    KEL_FileDelete(wav.c_str());
    render(wav);
    if (!KEL_FileExists(wav.c_str())) {
        outcome.failed = true;
    } else if (!convert) {
        outcome.files.push_back(wav);
    } else {
        feedback.amount(0.5f);
        feedback.message(kBLMsgArpConversion);
        feedback.subAmountRange(0.5f);
        std::string final;
        if (BLDiskMix_Convert(wav, format, settings, normalize, &final) == kelQtConvertResult::done) {
            outcome.files.push_back(final);
        } else {
            outcome.files.push_back(wav);
            outcome.conversionFailed = true;
        }
    }
    feedback.amount(1.0f);
    feedback.hide();
    if (outcome.failed) feedback.notify(kBLMsgMixFailed);
    if (outcome.conversionFailed) feedback.notify(kBLMsgArpConversion);
    return outcome;
}
