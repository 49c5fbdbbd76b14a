// Opening a large library into the window: 2,000 ad items of 50 banners, loaded
// and shown in the tree.
#include "admanager/library/LibraryFile.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/shell/AfManagerApp.h"
#include "admanager/shell/MainFrame.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"

#include <QApplication>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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
