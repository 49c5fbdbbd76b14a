#pragma once

#include "common/Cp932.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testutil {

// A fresh directory under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zova_test_XXXXXX").string();
        char* made = ::mkdtemp(tmpl.data());
        m_path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// CP932 bytes of a UTF-8 literal.
inline std::string J(const char* utf8) { return Cp932::FromUtf8(utf8); }

inline std::string DataFile(const std::string& name) { return std::string(ZOVA_TEST_DATA_DIR) + "/" + name; }

} // namespace testutil
