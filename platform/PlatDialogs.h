// File dialogs and "open this address" through the desktop's own programs.
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

// Runs a program with arguments (no shell), returning its standard output
// and exit status; false when it could not be started.
bool runProgram(const std::string& program, const std::vector<std::string>& args, std::string* output,
                int* status);
bool programExists(const std::string& program);

// The folder where the user keeps documents: the desktop's documents folder
// (XDG user dirs), else ~/Documents when it exists, else the home folder.
std::string documentsFolder();

}  // namespace plat
