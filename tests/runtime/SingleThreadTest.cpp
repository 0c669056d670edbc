// The one-thread stand-ins the extractor gives the C++ runtime: run-once flags and
// the program's own exception for the runtime's errors.
#include <gtest/gtest.h>
#include "K4Error.h"
#include "K4SingleThread.h"

namespace {
int g_runs = 0;
long g_nestedFlag = 0;
void CountRun() { ++g_runs; }
void RunNested() {
    ++g_runs;
    // The runtime may reach the same flag again from inside its initialiser; a
    // second run (or a wait) there would never end.
    single_thread::Once(&g_nestedFlag, RunNested);
}
}  // namespace

TEST(SingleThread, OnceRunsTheInitialiserOnlyForAFreshFlag) {
    long flag = 0, other = 0;
    g_runs = 0;
    EXPECT_EQ(single_thread::Once(&flag, CountRun), 0);
    EXPECT_EQ(single_thread::Once(&flag, CountRun), 0);
    EXPECT_EQ(g_runs, 1);
    single_thread::Once(&other, CountRun);
    EXPECT_EQ(g_runs, 2) << "each flag runs its initialiser once";
    g_runs = 0;
    single_thread::Once(&g_nestedFlag, RunNested);
    EXPECT_EQ(g_runs, 1) << "a nested call with the same flag returns at once";
}

TEST(SingleThread, RuntimeFaultsBecomeTheProgramsOwnError) {
    try {
        single_thread::ThrowRuntimeFault("vector::_M_realloc_insert");
        FAIL() << "nothing thrown";
    } catch (const K4Error& e) {
        EXPECT_STREQ(e.what(), "vector::_M_realloc_insert");
    }
    EXPECT_THROW(single_thread::ThrowRuntimeFault(nullptr), K4Error);
}
