// A theme whose first folder lies on a server that does not answer (drive H:, see scripts/bench)
// and whose second folder holds the document: the time from the lookup's start to the path it
// returns, against the same lookup with the hanging folder removed, measured in the same run.
#include "BenchSupport.h"

#include "support/TestSupport.h"
#include "theme/Theme.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int rounds = 3;
constexpr double boundMs = 2500.0;

// The slowest of rounds lookups of name, in milliseconds; false when one of them missed expected.
bool timeLookups(Theme& theme, const std::string& name, const std::string& expected, double& slowestMs)
{
    slowestMs = 0;
    for (int i = 0; i < rounds; ++i) {
        double start = nowMs();
        std::optional<std::string> found = theme.locate(name, nullptr, nullptr);
        slowestMs = std::max(slowestMs, nowMs() - start);
        if (!found || *found != expected)
            return false;
    }
    return true;
}

}  // namespace

int main()
{
    std::string second = testing_support::scratchFolder("vog-bench-hang");
    std::string document = second + "\\manual.doc";
    testing_support::writeFile(document, "");

    Theme theme("");  // never saved
    theme.paths = {second};
    double baselineMs = 0, hangingMs = 0;
    bool baselineOk = timeLookups(theme, "manual.doc", document, baselineMs);
    theme.paths = {"H:\\docs", second};
    bool hangingOk = timeLookups(theme, "manual.doc", document, hangingMs);

    testing_support::deleteTree(second);

    bool ok = baselineOk && hangingOk && hangingMs < boundMs;
    std::printf("%-48s %8.1f ms slowest of %d (without the hanging folder %.1f ms: ratio %.1f; bound %.0f ms) %s\n",
                "first folder hangs, second holds the file", hangingMs, rounds, baselineMs,
                baselineMs > 0 ? hangingMs / baselineMs : 0.0, boundMs,
                ok ? "ok" : (baselineOk && hangingOk ? "OVER BOUND" : "FILE NOT FOUND"));
    return ok ? 0 : 1;
}
