// Open and save dialogs on their own thread, answered by the headless backend.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/BLPath.h"
#include "core/FileTestUtil.h"
#include "platform/PlatDialogs.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using filetest::CurrentDir;
using filetest::kelOf;
using testsupport::TempDir;

namespace {

// Holds every dialog open until the test lets it go.
class GatedBackend : public plat::HeadlessBackend {
public:
    bool fileDialog(const plat::FileDialogRequest& request, std::string& chosen) override
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            entered_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        }
        if (!wanderTo.empty()) {  // a dialog that leaves the process in another folder
            std::error_code ec;
            fs::current_path(wanderTo, ec);
        }
        const bool ok = HeadlessBackend::fileDialog(request, chosen);
        std::lock_guard<std::mutex> lock(mutex_);
        ++returned_;
        changed_.notify_all();
        return ok;
    }
    // Once n dialogs have returned, their threads no longer touch the backend.
    bool waitReturned(int n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this, n] { return returned_ >= n; });
    }
    bool waitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return entered_; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    std::string wanderTo;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
    int returned_ = 0;
};

// The desktop's way: run a dialog program.
class ExternalBackend : public plat::HeadlessBackend {
public:
    bool fileDialog(const plat::FileDialogRequest& request, std::string& chosen) override
    {
        return plat::runExternalFileDialog(request, chosen);
    }
};

}  // namespace

class BLPathDialogs : public ::testing::Test {
protected:
    void SetUp() override { install(std::make_unique<plat::HeadlessBackend>()); }
    void TearDown() override
    {
        waitIdle();
        plat::clearBackend();
    }

    template <class B>
    B* install(std::unique_ptr<B> b)
    {
        waitIdle();
        B* raw = b.get();
        backend = raw;
        plat::setBackend(std::move(b));
        return raw;
    }

    // The path a finished dialog hands to the main loop, or null after 10 s.
    void* waitForDialogDone()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            plat::Event e;
            if (backend->pollEvent(e) && e.type == plat::Event::Type::DialogDone) {
                // Taken, as the main loop takes it: the next dialog may start.
                BLPath::dialogDelivered(static_cast<BLPath*>(e.data));
                waitIdle();
                return e.data;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return nullptr;
    }

    static void waitIdle()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (BLPath::dialogPending() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    plat::HeadlessBackend* backend = nullptr;
    TempDir dir{"blpath"};
};

TEST_F(BLPathDialogs, OpenDialogDeliversTheChosenFile)
{
    CurrentDir here(dir.path());
    const std::string cwd = fs::current_path().string();
    BLPath doc(":Library:Song:old.bld");
    doc.userDialogTypes(0, 0, 0, 0, "*.bld");
    backend->queueDialogAnswer(dir.file("new song.bld"));

    ASSERT_TRUE(doc.asyncDialogGet(6, 11, 3));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(doc.dialogOk, 1);
    EXPECT_EQ(std::string(doc.path), kelOf(dir.file("new song.bld")));
    EXPECT_EQ(doc.panelIndex, 6);
    EXPECT_EQ(doc.requestCode, 11);
    EXPECT_EQ(doc.requestSub, 3);

    const auto asked = backend->dialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].save);
    EXPECT_EQ(asked[0].initialFolder, cwd + "/Library/Song/");
    EXPECT_EQ(asked[0].initialName, "");
    EXPECT_EQ(asked[0].patterns, "*.bld");
}

TEST_F(BLPathDialogs, SaveDialogProposesTheCurrentName)
{
    BLPath doc(kelOf(dir.file("Groove 1.bld")).c_str());
    doc.userDialogTypes(0, 0, 0, 0, nullptr);
    backend->queueDialogAnswer(dir.file("Groove 2.bld"));
    ASSERT_TRUE(doc.asyncDialogPut(0, 4, 0));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(doc.dialogOk, 1);
    EXPECT_EQ(std::string(doc.path), kelOf(dir.file("Groove 2.bld")));

    const auto asked = backend->dialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].save);
    EXPECT_EQ(asked[0].initialFolder, dir.path() + "/");
    EXPECT_EQ(asked[0].initialName, "Groove 1.bld");
    EXPECT_EQ(asked[0].patterns, "*.*");

    // A path without a folder starts where the user keeps documents.
    BLPath untitled("Untitled");
    backend->queueDialogAnswer(std::nullopt);
    ASSERT_TRUE(untitled.asyncDialogPut(0, 4, 0));
    EXPECT_EQ(waitForDialogDone(), &untitled);
    EXPECT_EQ(backend->dialogs().at(1).initialFolder, plat::documentsFolder());
    EXPECT_EQ(backend->dialogs().at(1).initialName, "Untitled");
}

TEST_F(BLPathDialogs, CancelLeavesThePathAndReportsNotOk)
{
    BLPath doc(":Library:Song:keep.bld");
    doc.dialogOk = 1;
    backend->queueDialogAnswer(std::nullopt);
    ASSERT_TRUE(doc.asyncDialogGet(0, 1, 0));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(doc.dialogOk, 0);
    EXPECT_STREQ(doc.path, ":Library:Song:keep.bld");
    EXPECT_EQ(BLPath::takeDialogProblem(), "");
}

TEST_F(BLPathDialogs, OneDialogAtATime)
{
    auto* gated = install(std::make_unique<GatedBackend>());
    gated->queueDialogAnswer(dir.file("first.bld"));
    BLPath first(":a.bld"), second(":b.bld");
    ASSERT_TRUE(first.asyncDialogGet(0, 1, 0));
    ASSERT_TRUE(gated->waitEntered());
    EXPECT_TRUE(BLPath::dialogPending());

    EXPECT_FALSE(second.asyncDialogGet(1, 7, 7));
    EXPECT_EQ(second.requestCode, 0);
    // Refused on the same path too, without relabelling the running request.
    EXPECT_FALSE(first.asyncDialogPut(0, 2, 0));
    EXPECT_EQ(first.requestCode, 1);

    gated->release();
    // Its result posted and not taken yet: the next dialog still waits, so
    // that no dialog thread writes a path the main thread is reading.
    plat::Event done;
    for (int i = 0; i < 10000 && !(backend->pollEvent(done) && done.type == plat::Event::Type::DialogDone);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(done.data, &first);
    EXPECT_TRUE(BLPath::dialogPending());
    EXPECT_FALSE(first.asyncDialogPut(0, 2, 0));
    BLPath::dialogDelivered(&first);
    waitIdle();
    EXPECT_EQ(first.dialogOk, 1);
    EXPECT_EQ(first.requestCode, 1);
    EXPECT_STREQ(second.path, ":b.bld");

    gated->queueDialogAnswer(std::nullopt);
    EXPECT_TRUE(second.asyncDialogGet(1, 7, 7));
    EXPECT_EQ(waitForDialogDone(), &second);
}

TEST_F(BLPathDialogs, APathDestroyedWhileItsDialogIsOpenGetsNothing)
{
    auto* gated = install(std::make_unique<GatedBackend>());
    gated->queueDialogAnswer(dir.file("late.bld"));
    auto doc = std::make_unique<BLPath>(":a.bld");
    ASSERT_TRUE(doc->asyncDialogGet(0, 1, 0));
    ASSERT_TRUE(gated->waitEntered());
    doc.reset();
    EXPECT_FALSE(BLPath::dialogPending());

    // Another path may ask at once; the abandoned dialog's answer goes nowhere.
    BLPath next(":b.bld");
    ASSERT_TRUE(next.asyncDialogGet(0, 2, 0));
    gated->release();
    ASSERT_TRUE(gated->waitReturned(2));
    EXPECT_EQ(waitForDialogDone(), &next);
    plat::Event e;
    EXPECT_FALSE(gated->pollEvent(e));
}

TEST_F(BLPathDialogs, TheCurrentFolderIsPutBack)
{
    CurrentDir here(dir.path());
    const fs::path before = fs::current_path();
    auto* gated = install(std::make_unique<GatedBackend>());
    gated->wanderTo = "/";
    gated->release();
    gated->queueDialogAnswer(std::nullopt);
    BLPath doc(":x.bld");
    ASSERT_TRUE(doc.asyncDialogGet(0, 1, 0));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(BLPathDialogs, AFileTheProgramCannotNameIsRefusedWithAMessage)
{
    BLPath doc(":Library:keep.bld");
    backend->queueDialogAnswer(dir.file("odd:name.bld"));
    ASSERT_TRUE(doc.asyncDialogGet(0, 1, 0));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(doc.dialogOk, 0);
    EXPECT_STREQ(doc.path, ":Library:keep.bld");
    const std::string problem = BLPath::takeDialogProblem();
    EXPECT_NE(problem.find("odd:name.bld"), std::string::npos) << problem;
    EXPECT_EQ(BLPath::takeDialogProblem(), "");
}

TEST_F(BLPathDialogs, AMissingDialogProgramIsToldOnce)
{
    install(std::make_unique<ExternalBackend>());
    TempDir emptyBin("nobin");
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", emptyBin.path().c_str(), 1);

    BLPath doc(":keep.bld");
    ASSERT_TRUE(doc.asyncDialogGet(0, 1, 0));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(doc.dialogOk, 0);
    // Once per process: a repeated run of this test sees it no more.
    static bool toldBefore = false;
    const std::string problem = BLPath::takeDialogProblem();
    if (toldBefore)
        EXPECT_EQ(problem, "");
    else
        EXPECT_NE(problem.find("zenity"), std::string::npos) << problem;
    toldBefore = true;

    ASSERT_TRUE(doc.asyncDialogGet(0, 1, 0));
    EXPECT_EQ(waitForDialogDone(), &doc);
    EXPECT_EQ(BLPath::takeDialogProblem(), "");
    EXPECT_STREQ(doc.path, ":keep.bld");

    ::setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(BLPathDialogs, NoBackendNoDialog)
{
    plat::clearBackend();
    BLPath doc(":x.bld");
    EXPECT_FALSE(doc.asyncDialogGet(0, 1, 0));
    EXPECT_FALSE(BLPath::dialogPending());
}
