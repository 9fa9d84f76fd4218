#include "platform/PlatDialogs.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/PlatChild.h"

namespace plat {

namespace {

std::mutex gProblemMutex;
std::string gProblem;

void reportProblem(const std::string& text)
{
    std::lock_guard<std::mutex> lock(gProblemMutex);
    if (gProblem.empty()) logLine(text);
    gProblem = text;
}

std::string joinFolder(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// "*.bld;*.wav" as the two programs want their filters.
std::string patternsWithBlanks(const std::string& patterns)
{
    std::string out;
    for (char c : patterns) out += c == ';' ? ' ' : c;
    return out;
}

}  // namespace

bool programExists(const std::string& program)
{
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

bool runProgram(const std::string& program, const std::vector<std::string>& args, std::string* output,
                int* status)
{
    int fd = -1;
    const int pid = spawnPiped(program, args, true, output ? STDOUT_FILENO : -1, output ? &fd : nullptr);
    if (pid < 0) return false;
    if (output) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) output->append(buffer, static_cast<size_t>(n));
        close(fd);
    }
    const int exit = waitExit(pid);
    if (status) *status = exit;
    return true;
}

std::string lastDialogProblem()
{
    std::lock_guard<std::mutex> lock(gProblemMutex);
    return gProblem;
}

bool runExternalFileDialog(const FileDialogRequest& request, std::string& chosen)
{
    std::vector<std::string> args;
    std::string program;
    const std::string start = joinFolder(request.initialFolder, request.save ? request.initialName : "");
    if (programExists("zenity")) {
        program = "zenity";
        args = {"--file-selection", "--title",
                request.folder ? "Choose a folder"
                : request.save ? "Save"
                               : "Open"};
        if (request.folder) args.push_back("--directory");
        if (request.save) args.push_back("--save"), args.push_back("--confirm-overwrite");
        if (!start.empty()) args.push_back("--filename=" + start);
        if (!request.patterns.empty() && request.patterns != "*.*")
            args.push_back("--file-filter=" + patternsWithBlanks(request.patterns));
    } else if (programExists("kdialog")) {
        program = "kdialog";
        args = {request.folder ? "--getexistingdirectory"
                : request.save ? "--getsavefilename"
                               : "--getopenfilename",
                start.empty() ? "." : start};
        if (!request.folder && !request.patterns.empty() && request.patterns != "*.*")
            args.push_back(patternsWithBlanks(request.patterns));
    } else {
        reportProblem(
            "No file dialog program was found. Install zenity (or kdialog) to open and save documents.");
        return false;
    }
    std::string out;
    int status = -1;
    if (!runProgram(program, args, &out, &status)) {
        reportProblem("The file dialog program " + program + " could not be started.");
        return false;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    if (status != 0 || out.empty()) return false;
    chosen = out;
    return true;
}

std::string textEntryProgram()
{
    for (const char* program : {"zenity", "kdialog"})
        if (programExists(program)) return program;
    return "";
}

std::vector<std::string> textEntryArguments(const std::string& program, const TextEntryRequest& request)
{
    // Values joined to their option: a name that starts with '-' stays a value.
    if (program == "zenity") {
        // zenity reads its label's backslashes as escapes and '_' as a key's mark.
        std::string prompt;
        for (char c : request.prompt) {
            if (c == '\\' || c == '_') prompt += c;
            prompt += c;
        }
        return {"--entry", "--title=" + request.title, "--text=" + prompt, "--entry-text=" + request.initial};
    }
    if (program == "kdialog")
        return {"--title", request.title, "--inputbox", request.prompt, request.initial};
    return {};
}

EntryAnswer runExternalTextEntry(const TextEntryRequest& request, std::string& text)
{
    const std::string program = textEntryProgram();
    if (program.empty()) {
        reportProblem("No text entry program was found. Install zenity (or kdialog) to rename takes.");
        return EntryAnswer::unavailable;
    }
    std::string out;
    int status = -1;
    if (!runProgram(program, textEntryArguments(program, request), &out, &status)) {
        reportProblem("The text entry program " + program + " could not be started.");
        return EntryAnswer::unavailable;
    }
    if (status != 0) return EntryAnswer::cancelled;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    if (!out.empty() && out.back() == '\r') out.pop_back();
    text = out;
    return EntryAnswer::ok;
}

bool runExternalOpen(const std::string& address)
{
    int status = -1;
    return runProgram("xdg-open", {address}, nullptr, &status) && status == 0;
}

std::string documentsFolder()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const char* homeEnv = std::getenv("HOME");
    std::string home = homeEnv && homeEnv[0] ? homeEnv : "/";
    auto isFolder = [&](const std::string& p) { return !p.empty() && fs::is_directory(p, ec); };
    // "$HOME/Documents" in user-dirs.dirs, as the desktop's own tools write it.
    auto expand = [&](std::string v) {
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home + v.substr(5);
        return v;
    };
    if (const char* env = std::getenv("XDG_DOCUMENTS_DIR"); env && isFolder(expand(env))) return expand(env);
    const char* configEnv = std::getenv("XDG_CONFIG_HOME");
    const std::string config = configEnv && configEnv[0] ? configEnv : home + "/.config";
    std::ifstream dirs(config + "/user-dirs.dirs");
    for (std::string line; std::getline(dirs, line);) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string folder = expand(line.substr(key.size()));
        if (isFolder(folder)) return folder;
    }
    if (isFolder(home + "/Documents")) return home + "/Documents";
    return home;
}

}  // namespace plat
