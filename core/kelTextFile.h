// A kelText loaded from and saved to a file or a resource file item.
#pragma once

#include "core/kelText.h"

class KelResFile;

class kelTextFile : public kelText {
public:
    using kelText::kelText;
    using kelText::operator=;

    // The whole file as it stands (no line-end conversion); false, with the
    // text unchanged, when the file cannot be opened or read.
    virtual bool load(const char* path);
    // Writes len() bytes. The old file stays whole until the new one is
    // complete: the text goes to a temporary file beside it, renamed over it.
    virtual bool save(const char* path);
    // False, with the text unchanged, when the item is missing or unreadable.
    virtual bool loadResource(KelResFile* file, long type, long id);
    virtual bool saveResource(KelResFile* file, long type, long id);
};
