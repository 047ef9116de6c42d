// Cancellation, progress and the run's counters.
#include <gtest/gtest.h>

#include <thread>

#include "EngineRecorder.h"

using namespace testing_support;
using sdtest::BarReporter;
using sdtest::Event;
using sdtest::Recorder;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kUnit = 65536;

// Sets m_cancel from another thread once the engine has made `afterWrites` writes.
void CancelAfterWrites(Recorder& recorder, CSecureDelete& engine, size_t afterWrites) {
    recorder.hook = [&engine, &recorder, afterWrites](const Event& e) {
        if (e.kind == Event::Write && recorder.Of(Event::Write).size() == afterWrites) {
            std::thread([&engine] { engine.m_cancel = 1; }).join();
        }
    };
}

TEST(WipeCancel, FileTargetIsDeletedPlainlyAndNoFurtherPassRuns) {
    for (int32_t method : {FillZero, OldNsa, Gutmann}) {
        SCOPED_TRACE("method " + std::to_string(method));
        ScratchDir dir;
        WriteAll(dir / "big.bin", RandomBytes(8 * kUnit, 1));
        Recorder recorder;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        CancelAfterWrites(recorder, engine, 3);

        ASSERT_EQ(engine.Run(dir.Win("big.bin"), method), 1);
        EXPECT_EQ(recorder.Of(Event::Write).size(), 3u);
        EXPECT_TRUE(recorder.Of(Event::FileDone).empty());
        EXPECT_TRUE(recorder.Of(Event::Sweep).empty());
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
}

// A folder of files only: after the cancel every later file goes without being written.
TEST(WipeCancel, LaterFilesOfTheFolderAreDeletedPlainly) {
    struct Case {
        int32_t method;
        bool folderRemains;  // removed only when the cancelled pass was the last one
    };
    for (const Case& c : {Case{FillZero, false}, Case{OldNsa, true}}) {
        SCOPED_TRACE("method " + std::to_string(c.method));
        ScratchDir dir;
        fs::create_directory(dir / "root");
        for (const char* name : {"f1", "f2", "f3"}) WriteAll(dir / "root" / name, RandomBytes(4 * kUnit, 2));
        Recorder recorder;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        CancelAfterWrites(recorder, engine, 2);

        ASSERT_EQ(engine.Run(dir.Win("root"), c.method), 1);
        EXPECT_EQ(recorder.Of(Event::Write).size(), 2u);
        EXPECT_EQ(fs::exists(dir / "root"), c.folderRemains);
        if (c.folderRemains) {
            EXPECT_TRUE(fs::is_empty(dir / "root"));
        }
    }
}

// root holds file f and folder s with file g: the walk stops at the first folder entry met
// after the cancel; which comes first is the platform's enumeration order.
TEST(WipeCancel, WalkStopsAtTheNextFolderEntry) {
    ScratchDir dir;
    fs::create_directories(dir / "root" / "s");
    const auto fBytes = RandomBytes(4 * kUnit, 3);
    const auto gBytes = RandomBytes(4 * kUnit, 4);
    WriteAll(dir / "root" / "f", fBytes);
    WriteAll(dir / "root" / "s" / "g", gBytes);
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    CancelAfterWrites(recorder, engine, 1);

    ASSERT_EQ(engine.Run(dir.Win("root"), FillZero), 1);
    const auto writes = recorder.Of(Event::Write);
    ASSERT_EQ(writes.size(), 1u);
    if (writes[0].path == dir.Win("root\\f")) {
        // f in hand, then folder s: its walk and root's stop; g is never touched.
        EXPECT_FALSE(fs::exists(dir / "root" / "f"));
        EXPECT_EQ(ReadAll(dir / "root" / "s" / "g"), gBytes);
    } else {
        // g in hand; s, now empty, is removed; f comes later and goes plainly; root is removed.
        EXPECT_EQ(writes[0].path, dir.Win("root\\s\\g"));
        EXPECT_FALSE(fs::exists(dir / "root"));
    }
}

TEST(WipeProgress, PercentRisesAcrossAllPasses) {
    ScratchDir dir;
    WriteAll(dir / "f.bin", RandomBytes(kUnit, 5));
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    std::vector<int32_t> percents;
    recorder.hook = [&](const Event& e) {
        if (e.kind == Event::FileDone) percents.push_back(engine.GetPercent());
    };
    ASSERT_EQ(engine.Run(dir.Win("f.bin"), Gutmann), 1);

    EXPECT_EQ(engine.BytesTotal(), 35 * kUnit);
    EXPECT_EQ(engine.BytesDone(), 35 * kUnit);
    ASSERT_EQ(percents.size(), 35u);
    for (size_t pass = 1; pass <= 35; ++pass) EXPECT_EQ(percents[pass - 1], int32_t(pass * 100 / 35));
    EXPECT_EQ(engine.GetPercent(), 100);
}

TEST(WipeProgress, BytesTotalIsTreeSizeTimesPasses) {
    const std::pair<int32_t, uint64_t> passes[] = {{FillZero, 1}, {FillFF, 1}, {FillRandom, 1}, {Nsa, 3},
                                                   {OldNsa, 4},   {Dod, 3},    {Nato, 7},       {Gutmann, 35}};
    for (const auto& [method, count] : passes) {
        ScratchDir dir;
        fs::create_directories(dir / "root" / "sub");
        WriteAll(dir / "root" / "a", RandomBytes(1000, 6));
        WriteAll(dir / "root" / "sub" / "b", RandomBytes(234, 7));
        CSecureDelete engine;
        ASSERT_EQ(engine.Run(dir.Win("root"), method), 1);
        EXPECT_EQ(engine.BytesTotal(), 1234 * count) << "method " << method;
        EXPECT_FALSE(fs::exists(dir / "root"));
    }
}

// The console bar: ">" steps of two once the percentage leads by more than two, then a line break.
TEST(WipeProgress, ConsoleBar) {
    struct Case {
        uint64_t size;
        int32_t method;
        int steps;
        std::vector<size_t> stepWrites;  // write number at each step, when checked
    };
    std::vector<size_t> everyFourth;
    for (size_t w = 3; w <= 99; w += 4) everyFourth.insert(everyFourth.end(), {w, w});
    const Case cases[] = {
        {10, FillZero, 50, std::vector<size_t>(50, 1)},  // straight to 100
        {10, Dod, 50, {}},                                // 33, 66, 100
        {100 * kUnit, FillZero, 50, everyFourth},         // one point per write: steps at 3, 7, 11 ...
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + " method " + std::to_string(c.method));
        ScratchDir dir;
        WriteAll(dir / "f.bin", std::vector<uint8_t>(c.size, 1));
        Recorder recorder;
        BarReporter bar;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        engine.SetReporter(&bar);
        size_t writes = 0;
        recorder.hook = [&](const Event& e) { writes += e.kind == Event::Write ? 1 : 0; };
        std::vector<size_t> stepWrites;
        bar.onStep = [&] { stepWrites.push_back(writes + 1); };  // the step precedes the Written call

        ASSERT_EQ(engine.Run(dir.Win("f.bin"), c.method), 1);
        EXPECT_EQ(bar.steps, c.steps);
        EXPECT_EQ(bar.ends, 1);
        EXPECT_EQ(bar.stepsAtEnd, c.steps);
        if (!c.stepWrites.empty()) {
            EXPECT_EQ(stepWrites, c.stepWrites);
        }
    }
}

TEST(WipeProgress, NothingToWriteKeepsPercentAtZero) {
    for (bool consoleBar : {false, true}) {
        ScratchDir dir;
        WriteAll(dir / "empty.bin", std::string());
        fs::create_directories(dir / "emptytree" / "sub");
        WriteAll(dir / "emptytree" / "sub" / "zero", std::string());
        for (const char* target : {"empty.bin", "emptytree"}) {
            SCOPED_TRACE(std::string(target) + (consoleBar ? " console" : " dialog"));
            BarReporter bar;
            bar.consoleBar = consoleBar;
            CSecureDelete engine;
            engine.SetReporter(&bar);
            ASSERT_EQ(engine.Run(dir.Win(target), Nato), 1);
            EXPECT_EQ(engine.GetPercent(), 0);
            EXPECT_EQ(engine.BytesTotal(), 0u);
            EXPECT_EQ(bar.steps, 0);
            EXPECT_EQ(bar.ends, 0);
            EXPECT_FALSE(fs::exists(dir / target));
        }
    }
}

TEST(WipeRun, UnknownMethodOrMissingTargetTouchesNothing) {
    ScratchDir dir;
    fs::create_directory(dir / "root");
    const auto bytes = RandomBytes(5000, 8);
    WriteAll(dir / "root" / "f.bin", bytes);
    for (int32_t method : {8, 9, 100, -1}) {
        Recorder recorder;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        EXPECT_EQ(engine.Run(dir.Win("root"), method), 1);
        EXPECT_EQ(engine.Run(dir.Win("root\\f.bin"), method), 1);
        EXPECT_TRUE(recorder.events.empty()) << "method " << method;
        EXPECT_EQ(ReadAll(dir / "root" / "f.bin"), bytes);
    }
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    EXPECT_EQ(engine.Run(dir.Win("missing"), Gutmann), 1);
    EXPECT_EQ(engine.Run(dir.Win("root\\missing.bin"), FillZero), 1);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(sdtest::Listing(dir.path()), std::vector<std::string>{"root"});
}

// Run starts from zeroed counters and a cleared cancel flag every time.
TEST(WipeRun, RepeatedRunsStartAfresh) {
    ScratchDir dir;
    CSecureDelete engine;
    engine.m_cancel = 1;
    WriteAll(dir / "a", RandomBytes(3000, 9));
    ASSERT_EQ(engine.Run(dir.Win("a"), Nsa), 1);
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(engine.BytesTotal(), 9000u);
    WriteAll(dir / "b", RandomBytes(100, 10));
    ASSERT_EQ(engine.Run(dir.Win("b"), FillZero), 1);
    EXPECT_EQ(engine.BytesTotal(), 100u);
    EXPECT_EQ(engine.BytesDone(), 100u);
    EXPECT_EQ(engine.GetPercent(), 100);
}

}  // namespace
