// A program folder whose library holds the reference song alone, and the
// documents a test writes into it: the fixture of the command line's renders.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/kelFiles.h"
#include "e2e/MixReference.h"
#include "library/BLDocument.h"
#include "support/TestSupport.h"

namespace mixref {

class ReferenceSongTest : public ::testing::Test {
protected:
    explicit ReferenceSongTest(const char* folder) : dir{folder} {}
    void SetUp() override
    {
        std::error_code ec;
        std::filesystem::remove(dir.file("Library"), ec);  // the build's library, linked
        std::filesystem::create_directories(dir.file("Library/Song"));
        writeSong(song, dir.file("Library/Song"));
    }
    std::string document(const std::string& name, const BLIceimage& ice)
    {
        char kel[kKelPathMax + 1];
        EXPECT_TRUE(KEL_SystemPathToKelPath(dir.file(name).c_str(), kel));
        EXPECT_TRUE(BLDocument_Write(kel, ice, nullptr));
        return dir.file(name);
    }

    testsupport::ProgramDir dir;
    Song song = referenceSong();
};

}  // namespace mixref
