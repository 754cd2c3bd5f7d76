// Windows of the class "Vog": binding, the message loop, concurrency of creation, failures.
#include "winsys/Window.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

// A window that records what it sees and ends its loop once created (or when told to).
class ProbeWindow : public Window {
public:
    explicit ProbeWindow(bool endAtCreate = true) : Window(testInstance()), endAtCreate(endAtCreate) {}

    std::function<void(ProbeWindow&, HWND)> onCreate;
    std::vector<UINT> seen;      // WM_APP-range messages in the order they arrived
    bool visibleAtCreate = false;
    bool visibleInLoop = false;
    HWND handleInCreate = nullptr;
    bool boundBeforeCreate = false;

    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND window) override
    {
        if (message == WM_NCCREATE)
            boundBeforeCreate = hwnd() == window;
        if (message == WM_CREATE) {
            handleInCreate = hwnd();
            visibleAtCreate = IsWindowVisible(window) != FALSE;
            if (onCreate)
                onCreate(*this, window);
            else if (endAtCreate)
                SendMessageA(window, WM_DESTROY, 0, 0);
            else
                PostMessageA(window, WM_APP + 100, 0, 0);
        }
        if (message == WM_APP + 100) {
            visibleInLoop = IsWindowVisible(window) != FALSE;
            SendMessageA(window, WM_DESTROY, 0, 0);
            return 0;
        }
        if (message >= WM_APP && message < WM_APP + 100)
            seen.push_back(message);
        return Window::windowProc(message, wParam, lParam, window);
    }

private:
    bool endAtCreate;
};

std::string classNameOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

}  // namespace

TEST(WindowTest, TwoWindowsShareTheClassAndBindBeforeWmCreate)
{
    ProbeWindow first, second;
    ASSERT_EQ(0, first.create(false));
    ASSERT_EQ(0, second.create(false));
    ASSERT_NE(nullptr, first.hwnd());
    ASSERT_NE(nullptr, second.hwnd());
    EXPECT_NE(first.hwnd(), second.hwnd());
    EXPECT_EQ("Vog", classNameOf(first.hwnd()));
    EXPECT_EQ("Vog", classNameOf(second.hwnd()));
    EXPECT_EQ(GetClassLongPtrA(first.hwnd(), GCW_ATOM), GetClassLongPtrA(second.hwnd(), GCW_ATOM));
    EXPECT_TRUE(first.boundBeforeCreate);
    EXPECT_EQ(first.hwnd(), first.handleInCreate);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetStockObject(WHITE_BRUSH)),
              GetClassLongPtrA(first.hwnd(), GCLP_HBRBACKGROUND));
    EXPECT_NE(0u, GetClassLongPtrA(first.hwnd(), GCLP_HICON)) << "icon 101 not loaded";
}

TEST(WindowTest, CreateShowsTheWindowOnlyWhenAsked)
{
    ProbeWindow hidden(false), shown(false);
    hidden.create(false);
    shown.create(true);
    EXPECT_FALSE(hidden.visibleAtCreate);
    EXPECT_FALSE(hidden.visibleInLoop);
    EXPECT_FALSE(IsWindowVisible(hidden.hwnd()));
    EXPECT_FALSE(shown.visibleAtCreate);
    EXPECT_TRUE(shown.visibleInLoop);
}

TEST(WindowTest, WmDestroyEndsTheLoopAfterTheMessagesQueuedAheadOfTheQuit)
{
    ProbeWindow window;
    window.onCreate = [](ProbeWindow&, HWND hwnd) {
        PostMessageA(hwnd, WM_APP + 1, 0, 0);
        PostMessageA(hwnd, WM_APP + 2, 0, 0);
        SendMessageA(hwnd, WM_DESTROY, 0, 0);  // posts the quit behind them
    };
    ASSERT_EQ(0, window.create(false));
    EXPECT_EQ((std::vector<UINT>{WM_APP + 1, WM_APP + 2}), window.seen);
}

TEST(WindowTest, ManyThreadsCreatingAtOnceEachBindTheirOwnObject)
{
    const int threads = 16, perThread = 50;
    std::atomic<int> wrong{0}, created{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < perThread; ++i) {
                HWND used = nullptr;
                {
                    ProbeWindow window;
                    window.onCreate = [&](ProbeWindow& self, HWND hwnd) {
                        if (self.hwnd() != hwnd || !self.boundBeforeCreate)
                            ++wrong;
                        SendMessageA(hwnd, WM_DESTROY, 0, 0);
                    };
                    try {
                        window.create(false);
                        ++created;
                    } catch (const std::exception&) {
                        ++wrong;
                    }
                    used = window.hwnd();
                }
                DestroyWindow(used);  // after its object: default processing, no quit message
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(threads * perThread, created.load());
    EXPECT_EQ(0u, boundWindowCount());
}

TEST(WindowTest, MapEmptiesWhenTheLastObjectGoesAndCreationWorksAgain)
{
    {
        ProbeWindow a, b;
        a.create(false);
        b.create(false);
        EXPECT_EQ(2u, boundWindowCount());
    }
    EXPECT_EQ(0u, boundWindowCount());
    ProbeWindow again;
    EXPECT_EQ(0, again.create(false));
    EXPECT_EQ(1u, boundWindowCount());
}

TEST(WindowTest, NeverBoundObjectLeavesTheMapAlone)
{
    ProbeWindow bound;
    bound.create(false);
    { ProbeWindow neverCreated; }
    EXPECT_EQ(1u, boundWindowCount());
}

TEST(WindowTest, MessagesForAWindowWhoseObjectIsGoneGetDefaultProcessing)
{
    auto window = std::make_unique<ProbeWindow>();
    window->create(false);
    HWND orphan = window->hwnd();
    window.reset();
    ASSERT_TRUE(IsWindow(orphan));
    EXPECT_TRUE(SetWindowTextA(orphan, "orphan"));  // reaches DefWindowProcA, binds nothing
    EXPECT_EQ(0u, boundWindowCount());
    ProbeWindow next;
    next.create(false);
    EXPECT_NE(orphan, next.hwnd());
    EXPECT_EQ(1u, boundWindowCount());
    DestroyWindow(orphan);
}

TEST(WindowTest, FailedCreationRaisesAndLeavesTheLockFreeForOtherThreads)
{
    // A second module instance (a system DLL stands in for one) whose class we unregister again,
    // so that CreateWindowExA fails before any message.
    HINSTANCE other = LoadLibraryA("shlwapi.dll");
    ASSERT_NE(nullptr, other);
    struct OtherWindow : Window {
        explicit OtherWindow(HINSTANCE instance) : Window(instance) {}
    } failing(other);
    ASSERT_TRUE(UnregisterClassA("Vog", other));
    try {
        failing.create(false);
        FAIL() << "create did not raise";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("Window::create", error.what());
    }
    bool createdElsewhere = false;
    std::thread elsewhere([&] {
        ProbeWindow window;
        createdElsewhere = window.create(false) == 0 && window.hwnd() != nullptr;
    });
    DWORD start = GetTickCount();
    elsewhere.join();
    EXPECT_TRUE(createdElsewhere);
    EXPECT_LT(GetTickCount() - start, 10000u) << "creation on another thread waited for the lock";
}

TEST(WindowTest, AnErrorInsideWindowProcLeavesCreateAsThatError)
{
    ProbeWindow window;
    window.onCreate = [](ProbeWindow&, HWND) { throw std::out_of_range("inside"); };
    try {
        window.create(false);
        FAIL() << "create did not raise";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ("inside", error.what());
    }
    ProbeWindow next;
    EXPECT_EQ(0, next.create(false)) << "the kept error leaked into the next creation";
}
