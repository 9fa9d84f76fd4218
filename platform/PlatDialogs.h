// File dialogs, text entries and "open this address" through the desktop's own programs.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace plat {

// Runs zenity (or kdialog when zenity is missing). False when cancelled or
// when neither program exists; the latter is reported once, on standard error
// and in `lastDialogProblem`.
bool runExternalFileDialog(const FileDialogRequest& request, std::string& chosen);
std::string lastDialogProblem();
bool runExternalOpen(const std::string& address);

// A line of text asked through zenity (or kdialog): the program found on
// PATH, or "" for none, and the arguments it is given.
std::string textEntryProgram();
std::vector<std::string> textEntryArguments(const std::string& program, const TextEntryRequest& request);
// Runs it and waits; what it printed, less the line's end, when confirmed.
// Without either program the entry is unavailable, reported as above.
EntryAnswer runExternalTextEntry(const TextEntryRequest& request, std::string& text);

// Runs a program with arguments (no shell), returning its standard output
// and exit status; false when it could not be started.
bool runProgram(const std::string& program, const std::vector<std::string>& args, std::string* output,
                int* status);
bool programExists(const std::string& program);

// The folder where the user keeps documents: the desktop's documents folder
// (XDG user dirs), else ~/Documents when it exists, else the home folder.
std::string documentsFolder();

}  // namespace plat
