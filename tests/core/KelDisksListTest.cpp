// The list of volumes, over folders a test chooses and over the machine's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/kelDisksList.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

class DisksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* v : {"A", "C", "D"}) fs::create_directory(dir.file(v));
        kelDisksList::setVolumeRoots(
            {dir.file("A"), dir.file("C") + "/", dir.file("Missing"), dir.file("D")});
    }
    void TearDown() override { kelDisksList::setVolumeRoots({}); }

    TempDir dir{"disks"};
};

TEST_F(DisksTest, VolumesComeInOrderAndLoopWraps)
{
    kelDisksList disks;
    ASSERT_TRUE(disks.start());
    EXPECT_EQ(disks.get(), -1);
    char name[kKelNameMax + 1], label[kKelNameMax + 1];
    std::vector<std::string> labels;
    while (disks.next(name)) {
        EXPECT_STREQ(name, disks.path.path);
        ASSERT_TRUE(disks.getExtended(label));
        labels.push_back(label);
    }
    // The missing folder is no volume.
    EXPECT_EQ(labels, (std::vector<std::string>{"A", "C", "D"}));
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(disks.path.path, "");
    EXPECT_EQ(disks.get(), -1);
    EXPECT_FALSE(disks.get(name));

    ASSERT_TRUE(disks.loop(name));
    ASSERT_TRUE(disks.getExtended(label));
    EXPECT_STREQ(label, "A");
    EXPECT_EQ(disks.get(), 0);

    ASSERT_TRUE(disks.set(1));
    char root[kKelSystemPathMax + 1];
    ASSERT_TRUE(disks.get(root));
    EXPECT_EQ(std::string(root), dir.file("C") + "/");
    EXPECT_FALSE(disks.set(3));
}

TEST_F(DisksTest, AVolumeNameFollowedByTheLibraryFolderReachesIt)
{
    fs::create_directories(dir.file("C/Library/Song/Funk"));
    kelDisksList disks;
    ASSERT_TRUE(disks.set(1));
    kelPath song;
    song.set(&disks.path);
    song.add(":Library:Song:Funk:");
    EXPECT_TRUE(song.exists());
    char system[kKelSystemPathMax + 1];
    ASSERT_TRUE(song.toSystemPath(system));
    EXPECT_EQ(std::string(system), dir.file("C") + "/Library/Song/Funk/");
}

TEST_F(DisksTest, FoldersOfATestAreNotRemovable)
{
    kelDisksList disks;
    ASSERT_TRUE(disks.set(0));
    EXPECT_FALSE(disks.ejectable());
    EXPECT_FALSE(disks.eject());
    EXPECT_FALSE(disks.isBoot());
    EXPECT_GT(disks.freeSpace(), 0);

    EXPECT_TRUE(kelDisksList::isRemovableRoot("/media/me/USB STICK/"));
    EXPECT_TRUE(kelDisksList::isRemovableRoot("/run/media/me/CD/"));
    EXPECT_FALSE(kelDisksList::isRemovableRoot("/mnt/backup/"));
    EXPECT_FALSE(kelDisksList::isRemovableRoot("/"));
    EXPECT_FALSE(kelDisksList::isRemovableRoot("/home/media/x/"));
}

TEST(DisksMountTable, FindsTheDeviceOfAMountPoint)
{
    const std::string mounts =
        "/dev/sda2 / ext4 rw,relatime 0 0\n"
        "/dev/sdb1 /media/me/MY\\040DISK vfat rw,nosuid 0 0\n"
        "/dev/sdc1 /mnt/data ext4 rw 0 0\n"
        "/dev/sdd1 /mnt/data ext4 rw 0 0\n";
    EXPECT_EQ(kelDisksList::deviceOfMount(mounts, "/media/me/MY DISK/"), "/dev/sdb1");
    EXPECT_EQ(kelDisksList::deviceOfMount(mounts, "/mnt/data"), "/dev/sdd1");  // the mount on top
    EXPECT_EQ(kelDisksList::deviceOfMount(mounts, "/media/me/OTHER"), "");
    EXPECT_EQ(kelDisksList::deviceOfMount("garbage\n\\\n", "/"), "");
}

TEST(DisksSystem, TheRootComesFirstAndIsNamedForItsLibrary)
{
    kelDisksList::setVolumeRoots({});
    kelDisksList disks;
    ASSERT_TRUE(disks.start());
    char name[kKelNameMax + 1], root[kKelSystemPathMax + 1], label[kKelNameMax + 1];
    ASSERT_TRUE(disks.next(name));
    EXPECT_STREQ(name, ":");
    ASSERT_TRUE(disks.get(root));
    EXPECT_STREQ(root, "/");
    ASSERT_TRUE(disks.getExtended(label));
    EXPECT_STREQ(label, "/");
    EXPECT_TRUE(disks.isBoot());
    EXPECT_FALSE(disks.ejectable());

    kelPath library(name);
    library.add(":Library:Song:");
    char system[kKelSystemPathMax + 1];
    ASSERT_TRUE(library.toSystemPath(system));
    EXPECT_STREQ(system, "/Library/Song/");

    // Every other volume is a folder one level below the places volumes are mounted.
    const std::vector<std::string> roots = kelDisksList::volumeRoots();
    for (size_t i = 1; i < roots.size(); ++i) {
        const fs::path parent = fs::path(roots[i]).parent_path();
        EXPECT_TRUE(parent == "/mnt" || parent.parent_path() == "/media" ||
                    parent.parent_path() == "/run/media")
            << roots[i];
    }
}
