// Destroying a control while its workers are busy, as the container's thread sees it: the time the
// control's last Release takes (VOG.OCX loaded in-process, as a page's script engine holds it). The
// workers each extract a member of an archive through the tests' stand-in for the RAR library,
// told to take seconds over it: with 1, 10 and 50 workers whose extraction listens for the stop,
// and with 10 whose extraction does not (the stand-in ignores its callback, as a call to a share
// that does not answer would). The baseline, measured in the same run, is the grace period
// itself: a bare wait of that length on a thread that does not end.
#include "BenchSupport.h"

#include "request/RarExtractor.h"
#include "request/Task.h"
#include "support/RarWriter.h"
#include "support/TestSupport.h"
#include "support/UnrarTestSupport.h"

#include <process.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr int runs = 5;
constexpr int mostWorkers = 50;
constexpr unsigned stepMs = 10;
constexpr size_t memberSize = 300;  // three seconds a member
unsigned __stdcall blockUntil(void* event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

// The grace period as the platform waits it: a bounded wait on a thread that does not end.
double bareGracePeriodMs()
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 4096, blockUntil, release, 0, nullptr));
    double took = medianMs(runs, [&] { WaitForSingleObject(thread, TaskThread::gracePeriodMs); });
    SetEvent(release);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(release);
    return took;
}

struct Setup {
    GetClassObject getClassObject;
    std::string theme;
    std::string archive;
    std::vector<std::string> members;
    std::string cache;
    int idleThreads;
};

// Milliseconds of the control's last Release, with `workers` workers each in its extraction; false
// in `ok` when the workers did not all start extracting, or did not all end afterwards.
double destructionMs(const Setup& setup, int workers, bool deaf, bool& ok)
{
    SlowExtractionScope slow(stepMs, deaf);
    IDispatch* control = newControl(setup.getClassObject);
    if (!control) {
        ok = false;
        return 0;
    }
    for (int i = 0; i < workers; ++i)
        OpenArguments(setup.theme, setup.archive, setup.members[i]).invoke(control);
    auto copies = [&] {
        int found = 0;
        for (int i = 0; i < workers; ++i)
            found += !findFileBelow(setup.cache, setup.members[i]).empty();
        return found;
    };
    ok = waitUntil([&] { return copies() == workers; }, 60000, 20) && ok;

    double start = nowMs();
    control->Release();
    double took = nowMs() - start;

    // Let-go workers end by themselves when their extraction is over; the next run starts quiet.
    ok = waitForThreadCount(setup.idleThreads, 30000) && waitUntil([&] { return copies() == 0; }, 5000) && ok;
    return took;
}

}  // namespace

int main()
{
    OleInitialize(nullptr);
    PathScope library(windowsPathOf(VOG_UNRAR_DIR));
    Setup setup;
    setup.getClassObject = loadVogModule(VOG_OCX_PATH);
    if (!setup.getClassObject)
        return 1;

    std::string folder = scratchFolder("vog-bench-teardown");
    setup.theme = uniqueName("bench-teardown");  // never saved
    setup.archive = folder + "\\long.rar";
    RarWriter writer(RarFormat::Rar4);
    for (int i = 0; i < mostWorkers; ++i) {
        setup.members.push_back(uniqueName("member") + ".vogdoc");
        writer.file(setup.members.back(), std::string(memberSize, 'm'));
    }
    writer.save(setup.archive);
    setup.cache = RarExtractor::internetCacheFolder();
    setup.idleThreads = processThreadCount();

    bool ok = true;
    destructionMs(setup, 1, false, ok);  // warm-up
    double baseline = bareGracePeriodMs();
    struct Case {
        const char* name;
        int workers;
        bool deaf;
    };
    const Case cases[] = {{"destroying a control, 1 worker extracting", 1, false},
                          {"destroying a control, 10 workers extracting", 10, false},
                          {"destroying a control, 50 workers extracting", 50, false},
                          {"the same, 10 workers deaf to the stop", 10, true}};
    std::printf("time of the control's last Release, median of %d runs, vs a bare wait of the %lu ms grace period\n",
                runs, TaskThread::gracePeriodMs);
    bool allWithin = true;
    for (const Case& item : cases) {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run)
            times.push_back(destructionMs(setup, item.workers, item.deaf, ok));
        allWithin = reportRatio(item.name, median(times), baseline, 1.5) <= 1.5 && allWithin;
    }
    if (!ok)
        std::printf("SOME WORKERS DID NOT START EXTRACTING OR DID NOT END\n");
    deleteTree(folder);
    return ok && allWithin ? 0 : 1;
}
