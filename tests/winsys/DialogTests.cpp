// Modal dialogs: ending them by IDCANCEL and Escape, and from another thread without waiting for it;
// a worker's stop signal, which ends the dialog it runs and the waits it makes.
#include "winsys/Window.h"

#include "winsys/StopSignal.h"

#include "resources/resource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace testing_support;

namespace {

const char* const loaderCaption = "Vog File Loader";

// Runs template 101 on a thread of its own and keeps the result.
class DialogThread {
public:
    explicit DialogThread(Dialog& dialog)
        : thread([this, &dialog] {
              threadId = GetCurrentThreadId();
              result = dialog.runModal(IDD_FILE_LOADER, nullptr);
              done = true;
          })
    {
    }
    ~DialogThread()
    {
        if (thread.joinable())
            thread.join();
    }
    HWND waitShown() { return waitForWindow(loaderCaption, 10000, waitId()); }
    bool waitDone(DWORD ms) { return waitUntil([this] { return done.load(); }, ms); }
    INT_PTR result = 0;
    std::atomic<bool> done{false};

private:
    DWORD waitId()
    {
        waitUntil([this] { return threadId.load() != 0; }, 5000);
        return threadId;
    }
    std::atomic<DWORD> threadId{0};
    std::thread thread;
};

// A dialog that can be made to block inside a message handler until released.
class BlockingDialog : public Dialog {
public:
    BlockingDialog() : Dialog(testInstance()), release(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~BlockingDialog() { CloseHandle(release); }
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override
    {
        if (message == WM_APP) {
            blocked = true;
            WaitForSingleObject(release, 20000);
            return TRUE;
        }
        return Dialog::windowProc(message, wParam, lParam, hwnd);
    }
    HANDLE release;
    std::atomic<bool> blocked{false};
};

}  // namespace

TEST(DialogTest, IdCancelEndsTheDialogWithTwo)
{
    Dialog dialog(testInstance());
    DialogThread runner(dialog);
    HWND shown = runner.waitShown();
    ASSERT_NE(nullptr, shown);
    EXPECT_EQ(shown, dialog.hwnd());
    SendMessageA(shown, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(runner.waitDone(5000));
    EXPECT_EQ(2, runner.result);
}

TEST(DialogTest, EscapeKeyEndsTheDialogWithTwo)
{
    Dialog dialog(testInstance());
    DialogThread runner(dialog);
    HWND shown = runner.waitShown();
    ASSERT_NE(nullptr, shown);
    HWND list = GetDlgItem(shown, IDC_LOADER_FOLDERS);
    PostMessageA(list, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(runner.waitDone(5000));
    EXPECT_EQ(2, runner.result);
}

TEST(DialogTest, EndDialogFromAnotherThreadDoesNotWaitForTheDialogThread)
{
    BlockingDialog dialog;
    DialogThread runner(dialog);
    HWND shown = runner.waitShown();
    ASSERT_NE(nullptr, shown);
    PostMessageA(shown, WM_APP, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return dialog.blocked.load(); }, 5000));

    // The dialog's thread is busy; endDialog must return anyway.
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        dialog.endDialog(7);
        returned = true;
    });
    bool returnedWhileBlocked = waitUntil([&] { return returned.load(); }, 5000);
    SetEvent(dialog.release);
    caller.join();
    EXPECT_TRUE(returnedWhileBlocked);
    ASSERT_TRUE(runner.waitDone(5000));
    EXPECT_EQ(7, runner.result);
}

TEST(DialogTest, EndDialogOnADialogNeverShownDoesNothing)
{
    Dialog dialog(testInstance());
    dialog.endDialog(1);
    EXPECT_EQ(nullptr, dialog.hwnd());
    DialogThread runner(dialog);  // the same object still runs normally afterwards
    HWND shown = runner.waitShown();
    ASSERT_NE(nullptr, shown);
    dialog.endDialog(5);
    ASSERT_TRUE(runner.waitDone(5000));
    EXPECT_EQ(5, runner.result);
}

TEST(DialogTest, MissingTemplateGivesMinusOneAndFreesTheLock)
{
    Dialog dialog(testInstance());
    EXPECT_EQ(-1, dialog.runModal(9999, nullptr));
    EXPECT_EQ(nullptr, dialog.hwnd());
    Dialog next(testInstance());
    DialogThread runner(next);  // another thread can create at once
    HWND shown = runner.waitShown();
    ASSERT_NE(nullptr, shown);
    next.endDialog(2);
    ASSERT_TRUE(runner.waitDone(5000));
}

TEST(DialogTest, AnErrorInsideTheDialogEndsItAndLeavesRunModalAsThatError)
{
    struct FailingDialog : Dialog {
        FailingDialog() : Dialog(testInstance()) {}
        LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override
        {
            if (message == WM_INITDIALOG)
                throw std::length_error("init");
            return Dialog::windowProc(message, wParam, lParam, hwnd);
        }
    } dialog;
    try {
        dialog.runModal(IDD_FILE_LOADER, nullptr);
        FAIL() << "runModal did not raise";
    } catch (const std::length_error& error) {
        EXPECT_STREQ("init", error.what());
    }
    EXPECT_FALSE(IsWindow(dialog.hwnd()));
}

TEST(StopSignalTest, AStopEndsTheRegisteredDialogAndEveryWaitOnTheEventWhicheverCameFirst)
{
    // The event is made by the worker's first wait: a stop requested before that finds it set.
    StopSignal early;
    EXPECT_FALSE(early.stopRequested());
    early.requestStop();
    EXPECT_TRUE(early.stopRequested());
    ASSERT_NE(nullptr, early.event());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(early.event(), 0));
    Dialog refused(testInstance());
    EXPECT_FALSE(early.enterDialog(&refused));  // a stopped worker shows no dialog

    // A wait that began before the stop ends with it, and so does the dialog the worker runs.
    StopSignal later;
    HANDLE event = later.event();
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(event, later.event());  // one event for the signal's whole life
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    Dialog dialog(testInstance());
    ASSERT_TRUE(later.enterDialog(&dialog));
    DialogThread runner(dialog);
    ASSERT_NE(nullptr, runner.waitShown());
    std::atomic<DWORD> waited{WAIT_FAILED};
    std::thread waiter([&] { waited = WaitForSingleObject(event, 10000); });
    later.requestStop();
    waiter.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), waited.load());
    ASSERT_TRUE(runner.waitDone(5000));
    EXPECT_EQ(2, runner.result);
    later.leaveDialog();
}
