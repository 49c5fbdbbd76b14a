#include "admanager/upload/PublishRecord.h"

#include "common/Cp932.h"
#include "common/FileOps.h"

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

using nlohmann::json;

bool PublishRecord::Load(const std::string& path) {
    m_files.clear();
    if (!FileOps::FileExists(path))
        return true;
    std::string text;
    if (!FileOps::ReadWholeFile(path, text))
        return false;
    json j = json::parse(text, nullptr, false);
    if (!j.is_object())
        return false;
    if (j.value("version", 0) != 2)
        return j.contains("libraries"); // the per-item form: nothing of it is kept
    const json& files = j.value("files", json());
    if (!files.is_object())
        return false;
    for (auto& [destination, sha] : files.items())
        if (sha.is_string())
            m_files[destination] = sha.get<std::string>();
    return true;
}

bool PublishRecord::Save(const std::string& path) const {
    json j = {{"version", 2}, {"files", m_files}};
    return FileOps::ReplaceFileAtomic(path, j.dump(1, ' ', false, json::error_handler_t::replace) + "\n", true);
}

bool PublishRecord::Update(const std::string& path, const std::function<void(PublishRecord&)>& change) {
    const std::string lockPath = path + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    PublishRecord now;
    bool read = now.Load(path);
    change(now);
    bool ok = now.Save(path) && read;
    *this = std::move(now);
    ::close(fd); // releases the lock
    return ok;
}

const std::string* PublishRecord::Find(const std::string& destination) const {
    auto it = m_files.find(destination);
    return it == m_files.end() ? nullptr : &it->second;
}

void PublishRecord::Set(const std::string& destination, std::string sha256) {
    m_files[destination] = std::move(sha256);
}

void PublishRecord::Erase(const std::string& destination) {
    m_files.erase(destination);
}

std::string HostKeyText(const FtpHostEntry& host) {
    long port = host.port == 0 ? DefaultPort(host.protocol) : host.port;
    return std::string(ProtocolName(host.protocol)) + "://" + Cp932::ToUtf8(host.user) + "@" +
           Cp932::ToUtf8(host.host) + ":" + std::to_string(port) + "/" + Cp932::ToUtf8(host.directory);
}

std::string RemoteDestination(const FtpHostEntry& host, const std::string& remoteName) {
    // A separator no host, user or folder text can hold unnoticed.
    return HostKeyText(host) + "\n" + Cp932::ToUtf8(remoteName);
}

std::string LocalDestination(const std::string& localPath) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(localPath, ec);
    return "file://" + (ec ? localPath : absolute.lexically_normal().string());
}
