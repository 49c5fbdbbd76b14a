#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A scratch folder for one fuzzing process, removed at exit. Its path ends in '/'.
// Kept in a plain array: the exit handler runs after static strings are gone.
inline const char* FuzzScratch() {
    static char scratch[4096];
    if (!scratch[0]) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zova_fuzz_XXXXXX").string();
        if (!::mkdtemp(tmpl.data()) || tmpl.size() + 1 >= sizeof scratch)
            std::abort();
        tmpl += '/';
        tmpl.copy(scratch, tmpl.size());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratch, ec);
        });
    }
    return scratch;
}
