// The careful writer: its temporaries, what a failure leaves, the sweep of
// what killed instances left, and that no other code of the program makes,
// replaces or removes a file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/PlatFiles.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::join;

namespace {

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A pid that no process has now: a child that has ended.
long gonePid()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

void makeOld(const std::string& path)
{
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
}

}  // namespace

TEST(Writer, TemporariesAreExclusiveAndFailuresLeaveTheOldFile)
{
    testsupport::TempDir dir("writer");
    testsupport::writeFile(dir.file("x.wav"), "old");
    testsupport::writeFile(dir.file("x.wav.part"), "mine");
    const std::vector<std::string> mine = namesIn(dir.path());

    plat::ReplaceFile file;
    ASSERT_TRUE(file.open(dir.file("x.wav")));
    const std::string temp = fs::path(file.tempPath()).filename().string();
    long pid = 0;
    EXPECT_TRUE(plat::isTemporaryName(temp, &pid)) << temp;
    EXPECT_EQ(pid, getpid());
    EXPECT_EQ(temp.rfind(".x.wav.beatloom-", 0), 0u) << temp;
    // A second writer of the same file gets a name of its own.
    plat::ReplaceFile other;
    ASSERT_TRUE(other.open(dir.file("x.wav")));
    EXPECT_NE(other.tempPath(), file.tempPath());
    other.abort();
    ASSERT_TRUE(plat::writeFully(file.descriptor(), "new", 3));
    EXPECT_EQ(testsupport::readFile(dir.file("x.wav")), "old");
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(testsupport::readFile(dir.file("x.wav")), "new");
    EXPECT_EQ(testsupport::readFile(dir.file("x.wav.part")), "mine");
    EXPECT_EQ(namesIn(dir.path()), mine);

    ASSERT_TRUE(file.open(dir.file("x.wav")));
    file.abort();
    EXPECT_EQ(testsupport::readFile(dir.file("x.wav")), "new");
    EXPECT_EQ(namesIn(dir.path()), mine);

    // Refusals name their reason, and make nothing.
    fs::create_directory(dir.file("folder"));
    const std::map<std::string, int> refused = {{dir.file("folder"), EISDIR},
                                                {dir.file("none/x.wav"), ENOENT},
                                                {dir.file(std::string(300, 'n')), ENAMETOOLONG},
                                                {dir.file("x.wav.part/x.wav"), ENOTDIR}};
    for (const auto& [path, error] : refused) {
        plat::clearWriteError();
        EXPECT_FALSE(file.open(path)) << path;
        EXPECT_EQ(file.error(), error) << path;
        EXPECT_EQ(plat::lastWriteError(), error) << path;
    }
    EXPECT_EQ(namesIn(dir.path()).size(), mine.size() + 1);

    for (const char* name : {"x.wav.part", ".x.beatloom-12-abcde", "x.beatloom-12-abcdef",
                             ".x.beatloom--abcdef", ".x.beatloom-12-abc.ef", ".x.wav.XXXXXX"})
        EXPECT_FALSE(plat::isTemporaryName(name)) << name;
}

TEST(Writer, TheSweepRemovesOnlyWhatGoneInstancesLeft)
{
    testsupport::TempDir program("sweep-program"), elsewhere("sweep-elsewhere");
    const long gone = gonePid();
    const auto at = [](const testsupport::TempDir& d, const std::string& name) { return d.file(name); };
    // Left by a killed instance, in the program folder and elsewhere (listed in its journal).
    const std::string leftHere = at(program, join(".Beatloom.prf.beatloom-", gone, "-AbCdEf"));
    const std::string leftThere = at(elsewhere, join(".song.wav.beatloom-", gone, "-x1Y2z3"));
    // Not to be touched: a live instance's temporary, one made since this instance
    // started, a link of that name, the person's own files (one listed in the journal).
    const std::string live = at(program, join(".Beatloom.prf.beatloom-", getppid(), "-AbCdEf"));
    const std::string fresh = at(elsewhere, join(".other.wav.beatloom-", gone, "-QqQqQq"));
    const std::string link = at(program, join(".link.beatloom-", gone, "-LlLlLl"));
    const std::string own = at(elsewhere, "song.wav");
    for (const std::string& f : {leftHere, leftThere, live, fresh, own}) testsupport::writeFile(f, "x");
    fs::create_symlink(own, link);
    const std::string journal = at(program, join(".beatloom-journal-", gone));
    testsupport::writeFile(journal, leftThere + "\n" + fresh + "\n" + own + "\n/etc/passwd\n");
    for (const std::string& f : {leftHere, leftThere, live, own, journal}) makeOld(f);

    EXPECT_EQ(plat::sweepLeftovers(program.path()), 2);
    EXPECT_FALSE(fs::exists(leftHere));
    EXPECT_FALSE(fs::exists(leftThere));
    EXPECT_FALSE(fs::exists(journal));
    for (const std::string& f : {live, fresh, own, link}) EXPECT_TRUE(fs::exists(fs::symlink_status(f))) << f;
    EXPECT_TRUE(fs::exists("/etc/passwd"));

    // A journal of this instance lists what it makes, before it is made.
    plat::keepJournalIn(program.path());
    plat::ReplaceFile file;
    ASSERT_TRUE(file.open(elsewhere.file("new.wav")));
    const std::string mine = at(program, join(".beatloom-journal-", getpid()));
    EXPECT_NE(testsupport::readFile(mine).find(file.tempPath() + "\n"), std::string::npos);
    EXPECT_EQ(plat::sweepLeftovers(program.path()), 0);  // its own, in use
    EXPECT_TRUE(fs::exists(file.tempPath()));
    file.abort();
    plat::keepJournalIn("");
    EXPECT_FALSE(fs::exists(mine)) << "a journal with nothing left to tell goes";
}

// Whatever a file is called, the journal holds its temporary: names with a
// line break or a backslash left by a killed instance are swept too.
TEST(Writer, TheJournalHoldsAnyNameAFileCanHave)
{
    testsupport::TempDir program("journal-program"), elsewhere("journal-elsewhere");
    const std::vector<std::string> names = {"two\nlines.wav", "back\\slash\\n.wav", "\n", "plain.wav"};
    const pid_t child = fork();
    if (child == 0) {
        plat::keepJournalIn(program.path());
        for (const std::string& name : names) {
            auto* file = new plat::ReplaceFile;  // never committed nor removed: killed
            if (!file->open(elsewhere.file(name))) _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(elsewhere.path())) left.push_back(e.path().string());
    ASSERT_EQ(left.size(), names.size());
    for (const std::string& f : left) makeOld(f);
    const std::string journal = program.file(join(".beatloom-journal-", child));
    ASSERT_TRUE(fs::exists(journal));
    makeOld(journal);
    EXPECT_EQ(plat::sweepLeftovers(program.path()), static_cast<int>(names.size()));
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    EXPECT_FALSE(fs::exists(journal));
}

// No code of the program but the writer and the few places named here
// makes, replaces or removes a file.
TEST(Writer, NoOtherCodeMakesOrRemovesFiles)
{
    const std::map<std::string, const char*> allowed = {
        {"platform/PlatFiles.h", "the writer"},
        {"platform/PlatFiles.cpp", "the writer"},
        {"core/kelFiles.h", "the file layer's KEL_FileDelete and KEL_FileRename"},
        {"core/kelFiles.cpp", "the file layer: those two, and closing a file at its position"},
        {"core/kelPath.h", "kelPath::remove and rename, over the file layer's two"},
        {"core/kelPath.cpp", "kelPath::remove and rename, over the file layer's two"},
        {"panels/browser/BLLoadActions.cpp", "deletes a library song the person chose to delete"},
        {"platform/PlatHeadless.cpp", "appends to the log the person names with --log"},
        {"platform/PlatRecovery.h", "the recovery store: removes or puts aside its own recovery files"},
        {"platform/PlatRecovery.cpp",
         "the recovery store: its own lock files, and its recovery files removed or put aside"},
    };
    const std::regex call(
        R"((^|[^A-Za-z0-9_.>:])(std::|::)?(rename|renameat2?|unlink|unlinkat|remove|truncate|ftruncate|creat|mkstemp|mkostemp)\s*\()"
        R"(|O_CREAT|O_TRUNC|\b(filesystem|fs)::(remove|remove_all|rename|copy_file|copy|resize_file)\s*\()"
        R"(|\bKEL_File(Delete|Rename)\s*\(|\bsf_open\s*\([^;]*SFM_(WRITE|RDWR)|\bfopen\s*\([^;]*"[^"]*[wa+][^"]*")");
    const fs::path root = testsupport::sourceDir();
    int scanned = 0;
    std::vector<std::string> found;
    for (const char* layer : {"app", "audio", "core", "library", "net", "panels", "platform", "ui"}) {
        for (const auto& e : fs::recursive_directory_iterator(root / layer)) {
            const std::string ext = e.path().extension().string();
            if (ext != ".cpp" && ext != ".h") continue;
            const std::string name = fs::relative(e.path(), root).string();
            ++scanned;
            if (allowed.count(name)) continue;
            std::ifstream in(e.path());
            std::string line;
            for (int n = 1; std::getline(in, line); ++n) {
                const size_t comment = line.find("//");
                if (comment != std::string::npos) line.erase(comment);
                if (std::regex_search(line, call)) found.push_back(join(name, ":", n, ": ", line));
            }
        }
    }
    EXPECT_GT(scanned, 200);
    EXPECT_TRUE(found.empty()) << [&] {
        std::string all;
        for (const std::string& f : found) all += f + "\n";
        return all;
    }();
}
