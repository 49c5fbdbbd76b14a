// Opening a large library into the window: 2,000 ad items of 50 banners, loaded
// and shown in the tree.
#include "admanager/library/LibraryFile.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/shell/AfManagerApp.h"
#include "admanager/panes/RightView.h"
#include "admanager/shell/MainFrame.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"

#include <QApplication>
#include <QUndoStack>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

std::string g_module;
std::string g_file;
AppSettings g_settings;
AspList g_aspList;

void MakeLibrary() {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    std::string tag(300, 'x');
    for (int f = 0; f < 20; ++f) {
        LibraryNode folder;
        folder.flags = NODE_FOLDER;
        folder.title = "folder " + std::to_string(f);
        LibraryNode& fn = AddChildCopy(lib.root, folder);
        for (int i = 0; i < 100; ++i) {
            LibraryNode item;
            item.title = "item " + std::to_string(i);
            for (int b = 0; b < 50; ++b)
                AppendBanner(item).tag = tag;
            AddChildCopy(fn, item);
        }
    }
    SaveLibrary(lib, g_file);
}

// What Open does after its dialog: read the file, rebuild the tree, refresh the
// panes. The window itself (with its browser) is made once, outside the loop.
void BM_OpenLibraryAndFillTree(benchmark::State& state) {
    std::string lastFile;
    CAfManagerDoc doc(lastFile, g_settings, g_aspList);
    CMainFrame frame(doc, WindowGeometry{});
    doc.OnFirstInit();
    for (auto _ : state) {
        doc.OnFileNew();
        if (!LoadLibrary(doc.Library(), g_file))
            state.SkipWithError("load failed");
        frame.TreePane()->Rebuild();
        benchmark::DoNotOptimize(frame.TreePane()->Tree()->topLevelItemCount());
    }
}

// The same with the window made anew each time, as at start-up.
void BM_NewWindowOpenAndFillTree(benchmark::State& state) {
    for (auto _ : state) {
        std::string lastFile = g_file;
        CAfManagerDoc doc(lastFile, g_settings, g_aspList);
        CMainFrame frame(doc, WindowGeometry{});
        doc.OnFirstInit();
        benchmark::DoNotOptimize(frame.TreePane()->Tree()->topLevelItemCount());
    }
}
BENCHMARK(BM_NewWindowOpenAndFillTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK(BM_OpenLibraryAndFillTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FillTreeOnly(benchmark::State& state) {
    std::string lastFile = g_file;
    CAfManagerDoc doc(lastFile, g_settings, g_aspList);
    CMainFrame frame(doc, WindowGeometry{});
    doc.OnFirstInit();
    for (auto _ : state)
        frame.TreePane()->Rebuild();
}
BENCHMARK(BM_FillTreeOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Start-up from the application object to the shown main window, reopening the
// sample library (the process start and QApplication are outside the loop).
void BM_StartUpToShownWindow(benchmark::State& state) {
    std::string sample = std::string(ZOVA_SAMPLE_LIBRARY);
    for (auto _ : state) {
        std::filesystem::remove(g_module + "/zova_af.ini");
        CAfManagerApp::Hooks hooks;
        hooks.showSplash = true;
        CAfManagerApp app(hooks);
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        app.InitInstance({QString::fromStdString(sample)});
        QCoreApplication::processEvents();
        state.PauseTiming();
        app.ExitInstance();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpToShownWindow)->Unit(benchmark::kMillisecond)->Iterations(10);

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The history on the large library: 600 steps of every structural kind (deleting
// ad items with their 50 banners, moving items, adding and deleting banners,
// renaming), then all undone and redone. Reports the resident memory the history
// adds (a step keeps what it took out, never a copy of the library).
void BM_HistoryOnALargeLibrary(benchmark::State& state) {
    for (auto _ : state) {
        std::string lastFile = g_file;
        CAfManagerDoc doc(lastFile, g_settings, g_aspList);
        CMainFrame frame(doc, WindowGeometry{});
        doc.OnFirstInit();
        const long loaded = ResidentKiB();
        auto& folders = doc.Library().root.children;
        auto select = [&](LibraryNode& node) { frame.TreePane()->SelectItem(frame.TreePane()->ItemOf(&node)); };
        for (int i = 0; i < 120; ++i) {
            LibraryNode& folder = *folders[static_cast<std::size_t>(i % 20)];
            select(*folder.children[0]);
            doc.OnDeleteNode();
            select(*folder.children[1]);
            frame.ListPane()->SelectRow(0);
            doc.OnDeleteBanner();
            doc.OnAddBanner();
            LibraryNode old;
            old.CopyFieldsFrom(*folder.children[1]);
            folder.children[1]->title = "renamed " + std::to_string(i);
            doc.RecordNodeEdit(*folder.children[1], NodeEditStep::Title, old);
            doc.MoveNode(*folder.children[2], *folders[static_cast<std::size_t>((i + 1) % 20)]);
        }
        const long stepped = ResidentKiB();
        const auto undoStart = std::chrono::steady_clock::now();
        while (doc.History().canUndo())
            doc.Undo();
        const double undoMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - undoStart).count();
        while (doc.History().canRedo())
            doc.Redo();
        state.counters["steps"] = doc.History().count();
        state.counters["loaded_MiB"] = static_cast<double>(loaded) / 1024;
        state.counters["history_MiB"] = static_cast<double>(stepped - loaded) / 1024;
        state.counters["after_redo_MiB"] = static_cast<double>(ResidentKiB() - loaded) / 1024;
        state.counters["undo_each_ms"] = undoMs / doc.History().count();
        doc.History().clear();
    }
}
BENCHMARK(BM_HistoryOnALargeLibrary)->Unit(benchmark::kMillisecond)->Iterations(1);

// What a recovery copy costs the user-interface thread: the set-up and the longest
// slice of encoding (each slice stops after 8 ms), for the large library.
void BM_RecoveryCopySlices(benchmark::State& state) {
    AdLibrary lib;
    LoadLibrary(lib, g_file);
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto start = Clock::now();
        StepwiseEncoding encoding(lib);
        double longest = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        int slices = 0;
        for (bool done = false; !done; ++slices) {
            const auto sliceStart = Clock::now();
            done = encoding.Step(sliceStart + std::chrono::milliseconds(8));
            longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - sliceStart).count());
        }
        state.counters["longest_ui_ms"] = longest;
        state.counters["slices"] = slices;
        std::size_t bytes = 0;
        encoding.Pack([&bytes](std::string_view piece) {
            bytes += piece.size();
            return true;
        });
        state.counters["copy_MiB"] = static_cast<double>(bytes) / (1024 * 1024);
    }
}
BENCHMARK(BM_RecoveryCopySlices)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", "/nonexistent-zova-bench"); // the association prompt shows: closed at once
    auto started = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    std::printf("QApplication created in %.1f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    std::string tmpl = (std::filesystem::temp_directory_path() / "zova_wbench_XXXXXX").string();
    g_module = ::mkdtemp(tmpl.data());
    g_file = g_module + "/big.zva";
    g_settings.checkVersion = 0;
    ModuleDir::SetOverride(g_module);
    MakeLibrary();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_module);
    return 0;
}
