#include "panels/player/BLDiskMix.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "audio/BLEngine.h"
#include "audio/QualMix.h"
#include "core/BLInternational.h"
#include "core/kelFiles.h"
#include "core/kelPath.h"
#include "core/kelTextCodec.h"
#include "library/BLMixScript.h"
#include "library/BLSongLibrary.h"
#include "platform/PlatFiles.h"

namespace {

std::string withExtension(const std::string& path, uint32_t code)
{
    std::vector<char> buffer(path.size() + 16);
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    if (!kelQt_soundConvert_setFileExtension(buffer.data(), code, static_cast<int>(buffer.size())))
        return path;
    return buffer.data();
}

std::string systemOf(const std::string& kel)
{
    std::vector<char> buffer(kKelSystemPathMax + 1);
    if (!KEL_KelPathToSystemPath(kel.c_str(), buffer.data(), static_cast<int>(buffer.size()))) return {};
    return buffer.data();
}

std::string kelOf(const std::string& system)
{
    std::vector<char> buffer(kKelPathMax + 1);
    if (!KEL_SystemPathToKelPath(system.c_str(), buffer.data(), static_cast<int>(buffer.size()))) return {};
    return buffer.data();
}

// True when the kel path names no file: nothing after its last ':'.
bool namesNoFile(const std::string& path)
{
    return path.empty() || path.back() == ':';
}

bool converting(uint32_t format, bool normalize)
{
    return format != kelQtFormatNative || normalize;
}

bool formatWritable(uint32_t format)
{
    if (format == kelQtFormatNative) return true;
    uint32_t code = 0;
    for (int16_t i = 0; kelQt_soundConvert_getFormat(i, &code, nullptr); ++i)
        if (code == format) return true;
    return false;
}

// The message's text, in UTF-8, for a "%s" of another message.
std::string textOf(int16_t message)
{
    return KEL_Latin1ToUtf8(blIntl.message(message).c_str());
}

std::string reasonText(int16_t reason, const std::string& detail)
{
    std::string text = textOf(reason);
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

// A scratch file of the writer's beside a kel path: a render's target
// when a conversion follows.
struct Scratch {
    plat::ScratchFile file;
    std::string kel;
    bool open(const std::string& beside)
    {
        const std::string system = systemOf(beside);
        if (system.empty() || !file.open(system)) return false;
        kel = kelOf(file.path());
        return !kel.empty();
    }
};

// The group files of a stems mix: one for each group that has a track,
// named after the group (two groups of one name do not share a file).
struct Stem {
    int16_t group;
    std::string file;  // kel path, the export format's extension
};

std::string folderPath(const std::string& path)
{
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == ':' && folder != "::") folder.pop_back();
    return folder;
}

std::vector<Stem> stemsOf(const BLDiskMixJob& job)
{
    std::vector<Stem> stems;
    if (!job.library || !job.sequence) return stems;
    const std::string folder = folderPath(job.path);
    const std::string into = folder == "::" ? folder : folder + ":";
    std::set<std::string> names;
    for (int16_t g = 0; g < job.library->groupCount; ++g) {
        if (!BLMixScript_Make(job.tempo, *job.sequence, *job.library, g).hasTrack) continue;
        const std::string base = BLDiskMix_FileNameOf(job.library->groups[g].name, g);
        std::string name = base;
        for (int n = 2; names.count(name); ++n) name = base + " " + std::to_string(n);
        names.insert(name);
        stems.push_back({g, withExtension(into + name + ".wav", job.format)});
    }
    return stems;
}

bool exists(const std::string& kel)
{
    return KEL_FileExists(kel.c_str()) || KEL_FileIsLink(kel.c_str());
}

struct Runner {
    const BLDiskMixJob& job;
    BLEngine& engine;
    BLDiskMixFeedback& feedback;
    BLDiskMixOutcome outcome;
    plat::ScratchFile script;
    std::string scriptKel;
    MixPlan plan;  // the script's grooves with their effects

    // What a failure leaves: the kept sentence of the one file, or of stems.
    int16_t kept() const { return job.target == 1 && !job.renderTake ? kBLMsgKeptStems : kBLMsgKeptOldFile; }

    void fail(int16_t reason, int16_t message = kBLMsgMixFailed, const std::string& detail = {})
    {
        outcome.failed = true;
        outcome.reason = reason;
        outcome.detail = detail;
        feedback.notify(message, {reasonText(reason, detail), textOf(kept())});
    }

    void failWith(int error, int16_t message = kBLMsgMixFailed)
    {
        const int16_t reason = BLDiskMix_ReasonOf(error);
        fail(reason, message, reason == kBLMsgReasonOther && error ? std::strerror(error) : std::string());
    }

    bool writeScript(int16_t filter, bool& hasTrack, int64_t* frames = nullptr)
    {
        const BLMixScript text = BLMixScript_Make(job.tempo, *job.sequence, *job.library, filter);
        hasTrack = text.hasTrack;
        plan = text.plan;
        if (!hasTrack) return true;
        const int64_t length = QualMix_OutputFrames(text.text.c_str());
        if (frames) *frames = length;
        outcome.frames = std::max(outcome.frames, length);
        // A scratch file in the program folder, under a name of the writer's
        // own: no instance's script is another's, and a kill leaves nothing
        // the next start does not sweep.
        std::error_code ec;
        plat::clearWriteError();
        if (scriptKel.empty() && script.open((std::filesystem::current_path(ec) / "MixScript").string()))
            scriptKel = kelOf(script.path());
        if (!scriptKel.empty() && BLMixScript_Save(scriptKel.c_str(), text)) return true;
        const int error = scriptKel.empty() ? script.error() : plat::lastWriteError();
        outcome.failed = true;
        outcome.reason = BL_WriteReasonMessage(error);
        feedback.notify(kBLMsgScriptNotWritten, {BL_WriteReasonText(error)});
        return false;
    }

    // Renders the script to the kel path; false when the disk mix ends here.
    bool render(const std::string& wavPath)
    {
        plat::clearWriteError();
        const int result = job.renderTake ? job.renderTake(wavPath)
                           : job.render   ? job.render(wavPath, plan)
                                          : engine.mixToDisk(wavPath.c_str(), scriptKel.c_str(), &plan);
        switch (result) {
            case kQualMixWritten: return true;
            case kQualMixStopped: outcome.stopped = true; return false;
            case kQualMixBadTempo: fail(kBLMsgReasonTempo); return false;
            case kQualMixTooLong: fail(kBLMsgReasonTooLong); return false;
            default: failWith(plat::lastWriteError()); return false;
        }
    }

    // Converts a scratch render into the target; false when the disk mix ends here.
    bool convert(const std::string& source, const std::string& target, const kelQtConvertOptions& options)
    {
        plat::clearWriteError();
        switch (kelQt_soundConvert_run(source.c_str(), target.c_str(), job.format, job.settings, options)) {
            case kelQtConvertResult::done: outcome.files.push_back(target); return true;
            case kelQtConvertResult::stopped: outcome.stopped = true; return false;
            case kelQtConvertResult::failed: break;
        }
        outcome.conversionFailed = true;
        failWith(plat::lastWriteError(), kBLMsgConversionFailed);
        return false;
    }

    // False, told, when the format's file cannot hold that many frames.
    bool fits(int64_t frames)
    {
        if (frames < 0) {
            fail(kBLMsgReasonTempo);
            return false;
        }
        if (kelQt_soundConvert_fits(job.format, job.settings, frames, 2)) return true;
        fail(kBLMsgReasonTooLong);
        return false;
    }

    void oneFile()
    {
        const std::string target = withExtension(job.path, job.format);
        const bool converts = converting(job.format, job.normalize);
        feedback.message(kBLMsgMixing);
        feedback.subAmountRange(converts ? 0.5f : 1.0f);
        // A folder is no file to write: "FOLDER/.wav" is not what was asked.
        if (namesNoFile(job.path) || kelPath(folderPath(job.path).c_str()).isFolder()) {
            fail(kBLMsgReasonIsFolder);
            return;
        }
        bool hasTrack = job.renderTake != nullptr;
        int64_t frames = job.takeFrames;
        if (job.renderTake) {
            outcome.frames = frames;
        } else if (!writeScript(kBLMixAllGroups, hasTrack, &frames)) {
            return;
        }
        if (!hasTrack) {
            outcome.nothingToMix = true;
            feedback.notify(kBLMsgNothingToMix);
            return;
        }
        if (!fits(frames)) return;
        if (!converts) {
            if (render(target)) outcome.files.push_back(target);
            return;
        }
        Scratch source;
        if (!source.open(target)) {
            failWith(source.file.error());
            return;
        }
        if (!render(source.kel)) return;
        feedback.amount(0.5f);
        feedback.message(job.format == kelQtFormatNative ? kBLMsgNormalizing : kBLMsgConverting);
        feedback.subAmountRange(0.5f);
        kelQtConvertOptions options;
        options.normalize = job.normalize;
        convert(source.kel, target, options);
    }

    bool stopAsked()
    {
        if (feedback.shouldStop()) outcome.stopped = true;
        return outcome.stopped;
    }

    void stems()
    {
        const std::string folder = folderPath(job.path);
        feedback.message(kBLMsgPreparingFolder);
        feedback.setStopMode(true);
        const std::vector<Stem> stems = stemsOf(job);
        if (stems.empty()) {
            outcome.nothingToMix = true;
            feedback.notify(kBLMsgNothingToMix);
            return;
        }
        plat::clearWriteError();
        if (!kelPath(folder.c_str()).isFolder() && !KEL_CreateDirectory(folder.c_str())) {
            const int error = plat::lastWriteError();
            outcome.failed = true;
            outcome.reason = BL_WriteReasonMessage(error);
            feedback.notify(kBLMsgFolderNotCreated, {BL_WriteReasonText(error)});
            return;
        }
        // Nothing but the group files is touched, and those only when allowed.
        if (!job.overwrite) {
            for (const Stem& s : stems)
                if (exists(s.file)) outcome.inTheWay.push_back(s.file);
            if (!outcome.inTheWay.empty()) {
                outcome.failed = true;
                return;
            }
        }
        const int16_t groups = job.library->groupCount;
        const bool converts = converting(job.format, job.normalize);
        float step = groups > 0 ? 1.0f / groups : 1.0f;
        if (converts) step /= 2;
        float position = 0;
        // Normalised stems share one gain, measured on their whole mix, so
        // that they still add up to it: all are rendered before any is converted.
        const bool together = job.normalize;
        std::vector<std::unique_ptr<Scratch>> sources;
        size_t next = 0;
        for (int16_t g = 0; g < groups && next < stems.size(); ++g) {
            feedback.message(kBLMsgMixingGroups);
            feedback.amount(position);
            feedback.subAmountRange(step);
            if (stopAsked()) return;
            position += step;
            if (stems[next].group != g) {
                if (converts) position += step;
                continue;
            }
            const Stem& stem = stems[next++];
            bool hasTrack = false;
            int64_t frames = 0;
            if (!writeScript(g, hasTrack, &frames) || !fits(frames)) return;
            if (!converts) {
                if (!render(stem.file)) return;
                outcome.files.push_back(stem.file);
            } else {
                auto source = std::make_unique<Scratch>();
                if (!source->open(stem.file)) {
                    failWith(source->file.error());
                    return;
                }
                if (!render(source->kel)) return;
                if (together) {
                    sources.push_back(std::move(source));
                    position += step;
                } else {
                    feedback.message(kBLMsgConvertingGroup);
                    feedback.amount(position);
                    feedback.subAmountRange(step);
                    position += step;
                    kelQtConvertOptions options;
                    if (!convert(source->kel, stem.file, options)) return;
                }
            }
            if (stopAsked()) return;
        }
        if (together) convertTogether(stems, sources);
    }

    void convertTogether(const std::vector<Stem>& stems, const std::vector<std::unique_ptr<Scratch>>& sources)
    {
        std::vector<std::string> paths;
        paths.reserve(sources.size());
        for (const auto& s : sources) paths.push_back(s->kel);
        feedback.message(kBLMsgNormalizing);
        feedback.amount(0.5f);
        feedback.subAmountRange(0.05f);
        double gainDb = 0;
        if (!kelQt_soundConvert_sharedGain(paths, &gainDb)) {
            if (!stopAsked()) failWith(plat::lastWriteError(), kBLMsgConversionFailed);
            return;
        }
        const float step = 0.45f / static_cast<float>(std::max<size_t>(sources.size(), 1));
        for (size_t i = 0; i < sources.size(); ++i) {
            feedback.message(kBLMsgConvertingGroup);
            feedback.amount(0.55f + step * static_cast<float>(i));
            feedback.subAmountRange(step);
            if (stopAsked()) return;
            kelQtConvertOptions options;
            options.gainDb = gainDb;
            if (!convert(sources[i]->kel, stems[i].file, options)) return;
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

int16_t BLDiskMix_ReasonOf(int error)
{
    return BL_WriteReasonMessage(error);
}

std::vector<std::string> BLDiskMix_Targets(const BLDiskMixJob& job)
{
    std::vector<std::string> targets;
    if (job.renderTake) {
        targets.push_back(withExtension(job.path, job.format));
    } else if (job.target == 1) {
        for (const Stem& s : stemsOf(job)) targets.push_back(s.file);
    } else if (job.library && job.sequence &&
               BLMixScript_Make(job.tempo, *job.sequence, *job.library, kBLMixAllGroups).hasTrack) {
        targets.push_back(withExtension(job.path, job.format));
    }
    return targets;
}

std::vector<std::string> BLDiskMix_InTheWay(const BLDiskMixJob& job)
{
    std::vector<std::string> there;
    for (const std::string& t : BLDiskMix_Targets(job))
        if (exists(t)) there.push_back(t);
    return there;
}

BLDiskMixOutcome BLDiskMix_Run(const BLDiskMixJob& job, BLEngine& engine, BLDiskMixFeedback& feedback)
{
    Runner runner{job, engine, feedback, {}, {}, {}, {}};
    if (!job.library || !job.sequence) {
        runner.outcome.failed = true;
        return runner.outcome;
    }
    QualMix_SetQuality(job.quality);
    QualMix_SetKeyLock(job.keyLock);
    feedback.show();
    feedback.setStopMode(true);
    if (!formatWritable(job.format)) {
        runner.fail(kBLMsgReasonFormat);
    } else if (job.target == 1 && !job.renderTake) {
        runner.stems();
    } else {
        runner.oneFile();
    }
    feedback.amount(1.0f);
    feedback.hide();
    return runner.outcome;
}

std::string BLDiskMix_TargetOf(const std::string& path, uint32_t format)
{
    return withExtension(path, format);
}

BLDiskMixOutcome BLDiskMix_ArpMix(const std::string& path, uint32_t format,
                                  const kelQtSettingsHandle* settings, bool normalize,
                                  const std::function<bool(const std::string& wav)>& render,
                                  BLDiskMixFeedback& feedback)
{
    BLDiskMixOutcome outcome;
    const std::string target = withExtension(path, format);
    const bool convert = converting(format, normalize);
    feedback.show();
    feedback.setStopMode(false);
    feedback.message(kBLMsgArpMixing);
    feedback.subAmountRange(convert ? 0.5f : 1.0f);
    int16_t message = 0, reason = 0;
    std::string detail;
    auto failWith = [&](int16_t m, int error) {
        message = m;
        reason = error ? BLDiskMix_ReasonOf(error) : 0;
        if (reason == kBLMsgReasonOther) detail = std::strerror(error);
    };
    Scratch source;
    plat::clearWriteError();
    if (!formatWritable(format)) {
        message = kBLMsgConversionFailed;
        reason = kBLMsgReasonFormat;
    } else if (!convert) {
        if (render(target)) {
            outcome.files.push_back(target);
        } else {
            failWith(kBLMsgMixFailed, plat::lastWriteError());
        }
    } else if (!source.open(target)) {
        failWith(kBLMsgMixFailed, source.file.error());
    } else if (!render(source.kel)) {
        failWith(kBLMsgMixFailed, plat::lastWriteError());
    } else {
        feedback.amount(0.5f);
        feedback.message(kBLMsgArpConversion);
        feedback.subAmountRange(0.5f);
        kelQtConvertOptions options;
        options.normalize = normalize;
        plat::clearWriteError();
        if (kelQt_soundConvert_run(source.kel.c_str(), target.c_str(), format, settings, options) ==
            kelQtConvertResult::done) {
            outcome.files.push_back(target);
        } else {
            outcome.conversionFailed = true;
            failWith(kBLMsgConversionFailed, plat::lastWriteError());
            if (!reason) reason = kBLMsgReasonOther;
        }
    }
    source.file.remove();
    feedback.amount(1.0f);
    feedback.hide();
    if (message) {
        outcome.failed = true;
        outcome.reason = reason;
        outcome.detail = detail;
        // A render that wrote nothing for no reason of the disk's: the
        // caller's own words (no song, no pattern).
        if (reason) {
            feedback.notify(message, {reasonText(reason, detail), textOf(kBLMsgKeptOldFile)});
        } else {
            feedback.notify(message);
        }
    }
    return outcome;
}
