// The volumes of the machine: "/" and the volumes mounted directly below
// /media/$USER, /run/media/$USER and /mnt, in that order (each group sorted
// by name).
//
// A volume's kel name is the kel form of its root folder without the final
// ':' ("media:me:USB" for /media/me/USB, ":" for "/"), so that the name
// followed by ":Library:Song:" names <root>/Library/Song/ ("::Library:Song:"
// is /Library/Song/).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/kelPath.h"

class kelDisksList {
public:
    kelDisksList();
    virtual ~kelDisksList();
    kelDisksList(const kelDisksList&) = delete;
    kelDisksList& operator=(const kelDisksList&) = delete;

    // Before the first volume, with the list of volumes read afresh.
    virtual bool start();
    // The next volume; `name` (kKelNameMax + 1 bytes, may be null) gets its
    // kel name. False, with `path` and `name` empty, after the last one.
    virtual bool next(char* name = nullptr);
    // Volume number i (from 0); false when there are fewer.
    virtual bool set(int16_t i);
    // As next, but after the last volume the first comes again.
    virtual bool loop(char* name = nullptr);
    // The current volume's number, -1 when there is none.
    virtual int16_t get();
    // The current volume's root folder as a system path ending with '/'
    // (kKelSystemPathMax + 1 bytes); false when there is none.
    virtual bool get(char* out);
    // The volume's label (the name of its folder); the root folder when it
    // has none (as for "/").
    virtual bool getExtended(char* out);
    // Free bytes on the current volume, at most INT32_MAX; 0 when unknown.
    virtual long freeSpace();
    // A removable volume: one mounted below /media or /run/media.
    virtual bool ejectable();
    // Unmounts a removable volume and powers its drive off (udisksctl).
    virtual bool eject();
    // The volume the system runs from ("/").
    virtual bool isBoot();

    // Replaces the machine's volumes with these folders (tests, command-line
    // option), in this order, leaving out those that are not folders; an
    // empty list returns to the machine's own.
    static void setVolumeRoots(const std::vector<std::string>& roots);
    // The volume roots as the list would read them now.
    static std::vector<std::string> volumeRoots();
    // Whether a root folder counts as a removable volume.
    static bool isRemovableRoot(const std::string& root);
    // The device mounted at a folder, from text in the form of /proc/self/mounts.
    static std::string deviceOfMount(const std::string& mountsText, const std::string& mountPoint);

    kelPath path;  // kel name of the current volume

private:
    struct Work;
    std::unique_ptr<Work> work_;
};
