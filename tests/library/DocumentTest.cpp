// Groove documents: byte for byte as laid out, read back exactly, and what
// damaged, foreign or orphaned documents do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/BLPath.h"
#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"
#include "library/BLDocument.h"
#include "library/BLGrooveModel.h"
#include "library/BLSynthIce.h"
#include "library/GrooveFakes.h"
#include "library/SongTestFiles.h"

using namespace songtest;
using namespace groovetest;

namespace {

// The atoms of a file: id, then data.
std::vector<std::pair<std::string, std::string>> atomsOf(const std::string& bytes)
{
    std::vector<std::pair<std::string, std::string>> atoms;
    for (size_t at = 4; at + 8 <= bytes.size();) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
        const uint32_t id = kelGetLE32(p);
        const uint32_t length = kelGetLE32(p + 4);
        const std::string name = {static_cast<char>(id >> 24), static_cast<char>(id >> 16),
                                  static_cast<char>(id >> 8), static_cast<char>(id)};
        atoms.emplace_back(name, bytes.substr(at + 8, length));
        at += 8 + length;
    }
    return atoms;
}

uint16_t u16(const std::string& data, size_t at)
{
    return kelGetLE16(reinterpret_cast<const uint8_t*>(data.data() + at));
}

// Atoms written one by one into a file.
std::string atomsFile(const std::vector<std::pair<std::string, std::string>>& atoms)
{
    std::string out = "gsFA";
    for (const auto& [name, data] : atoms) {
        uint8_t header[8];
        kelPutLE32(header, kelFourCC({name[0], name[1], name[2], name[3], '\0'}));
        kelPutLE32(header + 4, static_cast<uint32_t>(data.size()));
        out.append(reinterpret_cast<const char*>(header), 8);
        out += data;
    }
    return out;
}

std::string versionAtom(int32_t v)
{
    uint8_t b[4];
    kelPutLE32(b, static_cast<uint32_t>(v));
    return std::string(reinterpret_cast<const char*>(b), 4);
}

class Document : public ProgramFolder {
protected:
    void SetUp() override
    {
        ProgramFolder::SetUp();
        writeDescription(songFolder("Night") + "/night.bls", fullDescription());
        writeFullLoops(songFolder("Night"));
        model = newModel();
        ASSERT_TRUE(model->openSong(songKel("Night").c_str()));
    }
    std::unique_ptr<BLGrooveModel> newModel()
    {
        BLGrooveLinks links;
        links.engine = &engine;
        links.player = &player;
        links.grooveStrip = &grooves;
        links.sequenceStrip = &sequence;
        links.questions = &questions;
        links.view = &view;
        links.synth = &synth;
        return std::make_unique<BLGrooveModel>(links);
    }
    // Three stored grooves, a sequence, a current groove, a track, a tempo.
    void buildWork()
    {
        for (int16_t g = 0; g < 3; ++g) {
            model->chooseLoop(g, g, 0);
            model->chooseLoop(static_cast<int16_t>(g + 3), 1, 1);
            model->grooves_add();
        }
        model->grooves_hit(1, BLStripGesture::dropOnSequence, 0);
        model->grooves_hit(2, BLStripGesture::dropOnSequence, 1);
        model->grooves_hit(1, BLStripGesture::dropOnSequence, 2);
        model->grooves_hit(0);
        model->chooseLoop(7, 2, 0);
        model->current.tracks[7].pan = -20;
        model->selectTrack(5);
        player.tempo = 121.6f;
    }
    std::string kel(const std::string& name) { return kelOf(dir.file(name)); }

    RecordingEngine engine;
    FakePlayer player;
    BLStripState grooves, sequence;
    ScriptedQuestions questions;
    RecordingView view;
    BLSynthDefaultDocument synth;
    std::unique_ptr<BLGrooveModel> model;
};

TEST_F(Document, TheBytesAtTheirOffsets)
{
    buildWork();
    synth.state.current.keys[4] = 1;
    KEL_CopyCut(synth.state.current.synthName, kBLSynthNameSize, "Bells");
    synth.state.presetCount = 2;
    synth.state.presets[1].program = 12;
    ASSERT_TRUE(model->saveDocument(kel("work.txt").c_str()));
    EXPECT_FALSE(fs::exists(dir.file("work.txt")));
    EXPECT_STREQ(model->lastDocument.path, kel("work.bld").c_str());  // the extension replaced

    const std::string bytes = testsupport::readFile(dir.file("work.bld"));
    ASSERT_EQ(bytes.substr(0, 4), "gsFA");
    ASSERT_EQ(bytes.substr(4, 4), "srev");  // letters reversed on disk
    const auto atoms = atomsOf(bytes);
    ASSERT_EQ(atoms.size(), 4u);
    EXPECT_EQ(atoms[0].first, "vers");
    EXPECT_EQ(atoms[0].second, versionAtom(1));
    EXPECT_EQ(atoms[1].first, "iced");
    EXPECT_EQ(atoms[2].first, "syic");
    // What older readers never get to: layout 1, every track's light on, no
    // mode, no key lock, no user loop, the knobs at 0, two empty names.
    EXPECT_EQ(atoms[3].first, "work");
    EXPECT_EQ(atoms[3].second, std::string("\1\1\1\1\1\1\1\1\1", 9) + std::string(25, '\0'));
    EXPECT_EQ(bytes.size(), 4 + 12 + 8 + 8732 + 8 + 3308u + 8 + 34);

    const std::string& ice = atoms[1].second;
    ASSERT_EQ(ice.size(), 8732u);
    EXPECT_EQ(ice[0], 1);
    EXPECT_STREQ(ice.c_str() + 1, "Night");
    // Stored groove 2 (id 3): track 2 is group 2, slot 0, keys01 (70, 20 - 63).
    const size_t g2 = 66 + 2 * 130;
    EXPECT_EQ(u16(ice, g2 + 8 * 2), 70);
    EXPECT_EQ(static_cast<int16_t>(u16(ice, g2 + 8 * 2 + 2)), -43);
    EXPECT_EQ(u16(ice, g2 + 8 * 2 + 4), 2);
    EXPECT_EQ(u16(ice, g2 + 8 * 2 + 6), 0);
    EXPECT_EQ(u16(ice, g2 + 8 * 6 + 4), 0xFFFF);  // an empty track: -1
    EXPECT_EQ(u16(ice, g2 + 128), 3);
    EXPECT_EQ(u16(ice, 8386), 3);
    EXPECT_EQ(u16(ice, 8388), 2);
    EXPECT_EQ(u16(ice, 8390), 3);
    EXPECT_EQ(u16(ice, 8392), 2);
    EXPECT_EQ(u16(ice, 8588), 3);
    EXPECT_EQ(u16(ice, 8590), 0);
    EXPECT_EQ(u16(ice, 8592 + 8 * 7 + 2), static_cast<uint16_t>(-20));
    EXPECT_EQ(u16(ice, 8592 + 128), 1);  // the current groove came from id 1
    EXPECT_EQ(u16(ice, 8722), 5);
    float bpm;
    const uint32_t raw = kelGetLE32(reinterpret_cast<const uint8_t*>(ice.data() + 8724));
    std::memcpy(&bpm, &raw, 4);
    EXPECT_EQ(bpm, 121.6f);

    const std::string& syic = atoms[2].second;
    ASSERT_EQ(syic.size(), 3308u);
    EXPECT_EQ(u16(syic, 8), 1);     // key 4
    EXPECT_EQ(u16(syic, 72), 100);  // volume
    EXPECT_EQ(u16(syic, 74), 63);   // pan
    EXPECT_EQ(u16(syic, 78), 7);    // program
    EXPECT_STREQ(syic.c_str() + 82, "Bells");
    EXPECT_EQ(u16(syic, 114 * 2 + 78), 12);  // preset 1's program
    EXPECT_EQ(u16(syic, 3306), 2);
}

TEST_F(Document, SavedAndLoadedAgainRestoresEverything)
{
    buildWork();
    synth.state.current.speed = 3;
    const std::string path = kel("work.bld");
    ASSERT_TRUE(model->saveDocument(path.c_str()));
    const BLSequence storedBefore = model->stored;
    const BLGroove currentBefore = model->current;

    // Another panel, as at a new start.
    BLSynthDefaultDocument before = synth;
    synth.state = BLSynthIce{};
    auto again = newModel();
    engine.calls.clear();
    again->loadDocument(path.c_str());
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(engine.only("reset").size(), 1u);  // the song opened from the library
    EXPECT_STREQ(again->library().title, "Night Drive");
    EXPECT_EQ(again->stored.count, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(again->stored.grooves[i], storedBefore.grooves[i]) << i;
    EXPECT_EQ(std::vector<uint16_t>(again->stored.entries, again->stored.entries + again->stored.length),
              (std::vector<uint16_t>{2, 3, 2}));
    EXPECT_EQ(again->current, currentBefore);
    EXPECT_EQ(again->selectedTrack, 5);
    EXPECT_EQ(player.tempo, 121.6f);
    EXPECT_EQ(synth.state, before.state);
    EXPECT_STREQ(again->lastDocument.path, path.c_str());
    EXPECT_NE(std::find(view.events.begin(), view.events.end(), "document-read"), view.events.end());

    // Grooves added afterwards get ids past the restored ones.
    again->chooseLoop(0, 1, 0);
    again->grooves_add();
    EXPECT_EQ(again->stored.grooves[3].id, 4);
}

TEST_F(Document, WithNoStoredGroovesLoadsEmpty)
{
    ASSERT_TRUE(model->saveDocument(kel("empty.bld").c_str()));
    buildWork();
    model->loadDocument(kel("empty.bld").c_str());
    EXPECT_EQ(model->stored.count, 0);
    EXPECT_EQ(model->stored.length, 0);
}

TEST_F(Document, DamagedAndForeignDocumentsSaySoAndChangeNothing)
{
    buildWork();
    ASSERT_TRUE(model->saveDocument(kel("good.bld").c_str()));
    const auto atoms = atomsOf(testsupport::readFile(dir.file("good.bld")));
    const BLSequence saved = model->stored;

    auto loadInto = [&](const std::string& name, const std::string& bytes) {
        testsupport::writeFile(dir.file(name), bytes);
        player.playing = true;
        engine.calls.clear();
        questions.asked.clear();
        model->loadDocument(kel(name).c_str());
    };
    // Each names the file; the work on the panel, the engine and the
    // playback stay as they were.
    auto unchanged = [&](const char* said) {
        EXPECT_EQ(questions.asked, std::vector<std::string>{said});
        EXPECT_TRUE(model->stored.sameAs(saved));
        EXPECT_TRUE(player.playing);
        EXPECT_TRUE(engine.calls.empty());
    };

    loadInto("v2.bld", atomsFile({{"vers", versionAtom(2)}, atoms[1], atoms[2]}));
    unchanged("102 v2.bld|2");
    loadInto("nov.bld", atomsFile({atoms[1], atoms[2]}));
    unchanged("100 nov.bld");
    const std::string whole = testsupport::readFile(dir.file("good.bld"));
    loadInto("cut.bld", whole.substr(0, 4 + 12 + 8 + 5000));
    unchanged("101 cut.bld");
    loadInto("text.bld", "hello, this is no document");
    unchanged("100 text.bld");
    fs::remove(dir.file("text.bld"));
    questions.asked.clear();
    model->loadDocument(kel("text.bld").c_str());
    unchanged("100 text.bld");

    // A longer image (a newer writer): its first 8732 bytes, the rest skipped.
    auto longer = atoms;
    longer[1].second += std::string(100, '\x7F');
    model->stored = BLSequence{};
    loadInto("long.bld", atomsFile(longer));
    EXPECT_EQ(model->stored.count, 3);
    EXPECT_EQ(model->stored.grooves[2], saved.grooves[2]);
}

// An image shorter than its size is read with its missing tail zero, and
// the document is said to be incomplete.
TEST_F(Document, AShortImageIsReadWithAnEmptyTailAndSaidIncomplete)
{
    buildWork();
    ASSERT_TRUE(model->saveDocument(kel("good.bld").c_str()));
    const BLSequence saved = model->stored;
    auto atoms = atomsOf(testsupport::readFile(dir.file("good.bld")));
    atoms[1].second.resize(8400);  // past the count, inside the sequence
    testsupport::writeFile(dir.file("short.bld"), atomsFile(atoms));
    model->stored = BLSequence{};
    questions.asked.clear();
    EXPECT_TRUE(model->loadDocument(kel("short.bld").c_str()));
    ASSERT_FALSE(questions.asked.empty());
    EXPECT_EQ(questions.asked.front(), "560 short.bld");
    EXPECT_EQ(model->stored.count, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(model->stored.grooves[i], saved.grooves[i]) << i;
    EXPECT_EQ(model->stored.length, 0) << "the sequence's length was in the missing tail";

    auto ice = std::make_unique<BLIceimage>();
    const BLDocumentRead read = BLDocument_Read(kel("short.bld").c_str(), ice.get(), nullptr);
    EXPECT_EQ(read.status, BLDocumentRead::read);
    EXPECT_TRUE(read.imageShort);
    EXPECT_EQ(ice->bpm, 0.0f);
    EXPECT_FALSE(BLDocument_Read(kel("good.bld").c_str(), ice.get(), nullptr).imageShort);
}

// A synth state or the work's extras cut short or damaged: the rest loads,
// the synth keeps its defaults, and the document says which part it lost.
TEST_F(Document, DamagedSynthAndExtrasAreSaidAndTheRestLoads)
{
    buildWork();
    synth.state.current.speed = 3;
    synth.state.presetCount = 2;
    ASSERT_TRUE(model->saveDocument(kel("good.bld").c_str()));
    const std::string whole = testsupport::readFile(dir.file("good.bld"));
    const auto atoms = atomsOf(whole);
    const BLSequence saved = model->stored;
    auto loads = [&](const std::string& name, const std::string& bytes,
                     const std::vector<std::string>& said) {
        testsupport::writeFile(dir.file(name), bytes);
        model->stored = BLSequence{};
        synth.state = BLSynthIce{};
        questions.asked.clear();
        EXPECT_TRUE(model->loadDocument(kel(name).c_str())) << name;
        EXPECT_EQ(questions.asked, said) << name;
        EXPECT_TRUE(model->stored.sameAs(saved)) << name;
    };
    // The synth's atom last, less its last byte; its length run wild; shorter than its size.
    loads("nobyte.bld", atomsFile({atoms[0], atoms[1], atoms[2]}).substr(0, 4 + 12 + 8 + 8732 + 8 + 3307),
          {"561 nobyte.bld"});
    EXPECT_EQ(synth.state, BLSynthIce{}) << "the default synth, not half of one";
    std::string wild = atomsFile({atoms[0], atoms[1], atoms[2], atoms[3]});
    for (int i = 0; i < 4; ++i) wild[4 + 12 + 8 + 8732 + 4 + i] = '\xff';
    loads("wild.bld", wild, {"561 wild.bld", "562 wild.bld"});
    auto shortSynth = atoms;
    shortSynth[2].second.resize(3000);
    loads("shortsynth.bld", atomsFile(shortSynth), {"561 shortsynth.bld"});
    EXPECT_EQ(synth.state, BLSynthIce{});
    // The whole document less its last byte: the extras are cut.
    loads("cut.bld", whole.substr(0, whole.size() - 1), {"562 cut.bld"});
    EXPECT_EQ(synth.state.current.speed, 3) << "the synth was whole";
    // Cut inside the header after a whole synth: the extras are lost, not the synth.
    loads("header.bld", whole.substr(0, 4 + 12 + 8 + 8732 + 8 + 3307 + 3), {"562 header.bld"});
    EXPECT_EQ(synth.state.current.speed, 3) << "the synth was whole";
    // A document without a synth or extras (an older writer) says nothing.
    loads("old.bld", atomsFile({atoms[0], atoms[1]}), {});
}

namespace {

bool writeText(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// Runs `body` in a child process in a mount namespace of its own, where
// `folder` is a small filesystem (mount `flags` and `options`); the child's
// exit status. 77 when the system gives no such namespace.
int inOwnFilesystem(const std::string& folder, unsigned long flags, const char* options,
                    const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWNS) != 0) {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
            writeText("/proc/self/setgroups", "deny");
            if (!writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                !writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
                _exit(77);
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", folder.c_str(), "tmpfs", flags, options) != 0)
            _exit(77);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

// A save that fails names its real cause: a full disk, a read-only one, a
// folder that is not there, a name too long, a file larger than allowed.
TEST_F(Document, AFailedSaveNamesItsRealCause)
{
    buildWork();
    const std::string kept =
        "No half-written file was left, and an older file of that name is kept as it was.";
    auto said = [&](const std::string& name, const std::string& reason) {
        return "563 " + name + "|" + reason + "|" + kept;
    };
    auto savedSays = [&](const std::string& path, const std::string& name, const std::string& reason) {
        questions.asked.clear();
        const bool saved = model->saveDocument(kel(path).c_str());
        if (!saved && questions.asked == std::vector<std::string>{said(name, reason)}) return true;
        for (const std::string& a : questions.asked) std::fprintf(stderr, "said: %s\n", a.c_str());
        return false;
    };
    EXPECT_TRUE(savedSays("none/work.bld", "work.bld", "the folder does not exist"));
    const std::string longName = std::string(252, 'n') + ".bld";
    EXPECT_TRUE(savedSays(longName, longName.substr(0, kKelNameMax), "a name is too long"));
    {
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        auto* handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        const bool told = savedSays("big.bld", "big.bld", "the file would be larger than this system allows");
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
        EXPECT_TRUE(told);
    }

    // A disk of its own, filled up; one mounted read-only.
    fs::create_directories(dir.file("disk"));
    const int full = inOwnFilesystem(dir.file("disk"), 0, "size=64k", [&] {
        const std::string filler = dir.file("disk/filler");
        std::FILE* f = std::fopen(filler.c_str(), "wb");
        const std::string block(4096, 'x');
        while (f && std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
        }
        if (f) std::fclose(f);
        return savedSays("disk/work.bld", "work.bld", "the disk is full") ? 0 : 1;
    });
    const int readOnly = inOwnFilesystem(dir.file("disk"), MS_RDONLY, "size=64k", [&] {
        return savedSays("disk/work.bld", "work.bld", "the disk is read-only") ? 0 : 1;
    });
    if (full == 77 || readOnly == 77)
        GTEST_SKIP() << "no mount namespace here for the full and read-only disks";
    EXPECT_EQ(full, 0) << "a full disk";
    EXPECT_EQ(readOnly, 0) << "a read-only disk";
}

TEST_F(Document, ATempoTheSongCannotTakeIsNeitherUsedNorSavedBack)
{
    for (const float damaged : {1e30f, -5.0f, 0.0f}) {
        player.tempo = damaged;
        ASSERT_TRUE(model->saveDocument(kel("tempo.bld").c_str()));
        questions.asked.clear();
        model->loadDocument(kel("tempo.bld").c_str());
        EXPECT_EQ(questions.asked, std::vector<std::string>{"103 tempo.bld"}) << damaged;
        EXPECT_EQ(player.tempo, 105.0f) << "the song's own tempo";
        ASSERT_TRUE(model->saveDocument(kel("tempo.bld").c_str()));
        auto ice = std::make_unique<BLIceimage>();
        ASSERT_EQ(BLDocument_Read(kel("tempo.bld").c_str(), ice.get(), nullptr).status, BLDocumentRead::read);
        EXPECT_EQ(ice->bpm, 105.0f) << damaged;
    }
}

TEST_F(Document, AMissingSongFolderLeavesThePanelAsItWas)
{
    buildWork();
    ASSERT_TRUE(model->saveDocument(kel("work.bld").c_str()));
    fs::rename(songFolder("Night"), songFolder("Moved"));
    model->stored = BLSequence{};
    model->loadDocument(kel("work.bld").c_str());
    EXPECT_EQ(questions.asked, std::vector<std::string>{"17 Night"});
    EXPECT_EQ(model->stored.count, 0);
}

TEST_F(Document, HostileImageValuesAreBroughtIntoRange)
{
    std::vector<uint8_t> ice(kBLIceSize, 0xFF);
    std::memcpy(ice.data() + 1, "Night", 6);
    kelPutLE16(ice.data() + 66 + 8 * 3, 500);         // groove 0 track 3 volume
    kelPutLE16(ice.data() + 66 + 8 * 3 + 2, 0x7000);  // pan
    kelPutLE16(ice.data() + 66 + 8 * 3 + 4, 31);      // group: the last there can be
    kelPutLE16(ice.data() + 66 + 8 * 3 + 6, 64);      // slot: one too many
    auto image = std::make_unique<BLIceimage>();
    BLDocument_DecodeIce(ice.data(), image.get());
    EXPECT_EQ(image->valid, 0xFF);
    EXPECT_STREQ(image->songName, "Night");
    EXPECT_EQ(image->sequence.count, 0);  // -1 held at 0
    EXPECT_EQ(image->sequence.length, 0);
    EXPECT_EQ(image->sequence.userLength, 0);
    const BLTrack& t = image->sequence.grooves[0].tracks[3];
    EXPECT_EQ(t.volume, 127);
    EXPECT_EQ(t.pan, 63);
    EXPECT_EQ(t.group, 31);
    EXPECT_EQ(t.slot, -1);
    EXPECT_EQ(image->selectedTrack, -1);
    kelPutLE16(ice.data() + 8386, 900);
    kelPutLE16(ice.data() + 8588, 900);
    kelPutLE16(ice.data() + 8722, 9);
    std::memset(ice.data() + 1, 'n', 65);  // no terminator inside the name
    BLDocument_DecodeIce(ice.data(), image.get());
    EXPECT_EQ(image->sequence.count, 64);
    EXPECT_EQ(image->sequence.length, 100);
    EXPECT_EQ(image->selectedTrack, 0);
    EXPECT_EQ(std::strlen(image->songName), 64u);

    // Encoding what was decoded gives the image back, within the ranges.
    std::vector<uint8_t> again(kBLIceSize);
    BLDocument_EncodeIce(*image, again.data());
    auto back = std::make_unique<BLIceimage>();
    BLDocument_DecodeIce(again.data(), back.get());
    EXPECT_EQ(back->sequence.grooves[0], image->sequence.grooves[0]);
    EXPECT_EQ(kelGetLE16(again.data() + 8386), 64);
}

TEST_F(Document, SavesKeepWhatTheUserHad)
{
    buildWork();
    // A file of the user's that bears a temporary file's usual name is no
    // temporary file.
    touch(dir.file("keep.bld.part"), "mine");
    ASSERT_TRUE(model->saveDocument(kel("keep.bld").c_str()));
    EXPECT_EQ(testsupport::readFile(dir.file("keep.bld.part")), "mine");

    // A link is written through to its target, which keeps its mode and owner.
    const std::string target = dir.file("elsewhere/target.bld");
    touch(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;  // only then may the file have another owner
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    }
    fs::create_symlink(target, dir.file("link.bld"));
    ASSERT_TRUE(model->saveDocument(kel("link.bld").c_str()));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.bld")));
    EXPECT_EQ(testsupport::readFile(target), testsupport::readFile(dir.file("keep.bld")));
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }

    // A pipe or a folder in the document's place is refused at once.
    ASSERT_EQ(::mkfifo(dir.file("pipe.bld").c_str(), 0644), 0);
    EXPECT_FALSE(model->saveDocument(kel("pipe.bld").c_str()));
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.bld")));
    touch(dir.file("taken.bld/x"));
    EXPECT_FALSE(model->saveDocument(kel("taken.bld").c_str()));
    EXPECT_TRUE(fs::exists(dir.file("taken.bld/x")));
    const std::string kept =
        "|No half-written file was left, and an older file of that name is kept as it was.";
    EXPECT_EQ(questions.asked,
              (std::vector<std::string>{"563 pipe.bld|something that is not a file has that name" + kept,
                                        "563 taken.bld|a folder has that name" + kept}));
    // Nothing temporary is left behind.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

TEST_F(Document, LongAndMultibyteSongNamesComeBack)
{
    const std::string accents = [] {
        std::string s;
        for (int i = 0; i < 40; ++i) s += "\xC3\xA9";  // é
        return s;
    }();
    for (const std::string& name : {std::string(100, 'a'), accents}) {
        writeDescription(songFolder(name) + "/song.bls", fullDescription());
        writeFullLoops(songFolder(name));
        auto work = newModel();
        ASSERT_TRUE(work->openSong(songKel(name).c_str()));
        work->chooseLoop(0, 1, 0);
        work->grooves_add();
        ASSERT_TRUE(work->saveDocument(kel("long.bld").c_str()));
        // The image's own field holds whole characters only.
        const auto atoms = atomsOf(testsupport::readFile(dir.file("long.bld")));
        const std::string field = atoms[1].second.substr(1, 64);
        EXPECT_TRUE(name.compare(0, std::strlen(field.c_str()), field.c_str()) == 0);
        EXPECT_EQ(std::strlen(field.c_str()) % (name == accents ? 2 : 1), 0u);

        auto again = newModel();
        questions.asked.clear();
        again->loadDocument(kel("long.bld").c_str());
        EXPECT_TRUE(questions.asked.empty()) << questions.asked.front();
        EXPECT_STREQ(again->songFolder.path, songKel(name).c_str());
        EXPECT_EQ(again->stored.count, 1);
    }
}

TEST_F(Document, TheDialogsAnswerDecides)
{
    buildWork();
    BLPath path(kel("dialog").c_str());
    path.dialogOk = 0;
    model->saveResult(&path);
    EXPECT_FALSE(fs::exists(dir.file("dialog.bld")));
    path.dialogOk = 1;
    model->saveResult(&path);
    EXPECT_TRUE(fs::exists(dir.file("dialog.bld")));
    model->stored = BLSequence{};
    BLPath open(kel("dialog.bld").c_str());
    model->loadResult(&open);
    EXPECT_EQ(model->stored.count, 0);  // cancelled
    open.dialogOk = 1;
    model->loadResult(&open);
    EXPECT_EQ(model->stored.count, 3);
}

TEST_F(Document, TheSynthStateKeepsItsRanges)
{
    BLSynthIce state;
    state.current.mode = 3;
    state.presetCount = 28;
    std::vector<uint8_t> bytes(kBLSynthIceSize);
    state.encode(bytes.data());
    BLSynthIce back;
    back.decode(bytes.data());
    EXPECT_EQ(back, state);

    std::fill(bytes.begin(), bytes.end(), 0x7F);
    back.decode(bytes.data());
    EXPECT_EQ(back.current.mode, 3);
    EXPECT_EQ(back.current.program, 32);
    EXPECT_EQ(back.current.speed, 3);
    EXPECT_EQ(back.current.volume, 127);
    EXPECT_EQ(back.presetCount, 28);
    EXPECT_EQ(std::strlen(back.current.synthName), 31u);
}

}  // namespace
