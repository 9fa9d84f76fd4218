// A kel path held in a fixed buffer, with the file operations on it and the
// system's open and save dialogs.
#pragma once

#include <cstdint>
#include <string>

#include "core/kelFiles.h"

class kelPath {
public:
    kelPath() = default;
    explicit kelPath(const char* text) { set(text); }
    virtual ~kelPath() = default;

    // Copying and appending cut at kKelPathMax characters and then return false.
    virtual void reset();
    virtual bool set(const kelPath* other);
    virtual bool set(const char* text);
    virtual bool add(const kelPath* other);
    virtual bool add(const char* text);
    // The system's open dialog; on confirmation the path becomes the chosen file.
    virtual bool userDialogGet();
    // userDialogGet chooses a folder, not a file.
    bool chooseFolder = false;
    // The save dialog, proposing the current name.
    virtual bool userDialogPut();
    virtual bool parent();
    // `out` holds kKelSystemPathMax + 1 bytes unless a size is given.
    virtual bool toSystemPath(char* out, int outSize = kKelSystemPathMax + 1);
    virtual bool fromSystemPath(const char* in);
    // Size of the file in bytes; 0 for a folder or a missing file.
    virtual long length();
    virtual bool exists();
    virtual bool create();
    virtual bool remove();
    virtual bool copyTo(const kelPath* other);
    // Moves the file; this object keeps its old text.
    virtual bool rename(const char* newPath);
    virtual bool moveTo(const char* newPath);
    virtual bool moveTo(const kelPath* newPath);
    // Visibility is a matter of the name here: a name starting with '.' is hidden.
    virtual bool isVisible();
    virtual bool isFolder();
    // Equal texts, ASCII letters compared without regard to case.
    virtual bool isEqual(const kelPath* other);
    virtual void setVisible(uint8_t visible);
    // Name outputs hold kKelNameMax + 1 bytes.
    virtual bool getName(char* out);
    virtual bool getNameWithoutExtension(char* out);
    virtual bool parentName(char* out);
    virtual void stripName();
    virtual bool setName(const char* name);
    virtual bool getKind(char* out);
    virtual bool isKind(const char* kind);
    virtual bool getKind(uint32_t* code);
    virtual bool isKind(uint32_t code);
    virtual bool isHidden();
    virtual bool isDocument();
    virtual bool set(const kelPath& other);
    virtual bool add(const kelPath& other);

    // Cuts at the last '.' that stands after the last ':'.
    void stripExtension();
    // Replaces the extension; "wav" and ".wav" both give "name.wav".
    bool setExtension(const char* ext);
    // The dialogs' filter: the patterns, or every file when null.
    void userDialogTypes(uint32_t type1, uint32_t type2, uint32_t type3, uint32_t type4,
                         const char* patterns);

    // A message for the user about the file dialogs (no dialog program
    // installed, a chosen path the program cannot use), or "" when there is
    // none new. Taken once; call it on the main thread when a dialog ends.
    static std::string takeDialogProblem();

    char path[kKelPathMax + 1] = {};

private:
    bool runDialog(bool save);
};
