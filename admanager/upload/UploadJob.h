#pragma once

#include "admanager/settings/AccountLists.h"

#include <atomic>
#include <functional>
#include <string>

struct AdBlockResult;

// One FTP upload of a generated ad block: the main file and, in multi-page
// mode, its numbered page files, over one control connection in active mode
// with the ASCII type. Every step is reported as one log line (UTF-8) to the
// sink, so the upload dialog and the command line show the same lines.
//
// Run() blocks and is meant for a worker thread; RequestStop() and IsBusy()
// may be called from any thread. The sink is called on the thread that runs
// the job; a dialog posts the lines on to its own thread.

using UploadLogSink = std::function<void(const std::string& line)>;

struct UploadTimeouts {
    long connectSeconds = 20;  // connecting to the server
    long responseSeconds = 60; // waiting for any reply, also the server's data connection
    long stalledSeconds = 60;  // a transfer that moves nothing for this long fails
};

struct UploadRequest {
    FtpHostEntry host;      // texts as stored (CP932), sent as they are
    std::string localPath;  // the main file, a file-system path
    std::string remoteName; // as typed for the item (CP932), optionally with a leading slash
    int pageFiles = 0;      // numbered page files written beside the main file
    UploadTimeouts timeouts;
};

enum class UploadOutcome {
    Succeeded,
    Failed,
    Stopped, // a stop was requested, whatever else happened
    Refused, // the job was already running; nothing done, nothing logged
};

// The number of page files an output of result wrote besides the main file.
int PageFilesOf(const AdBlockResult& result);

// The name the main file is stored under: a leading '/' or '\' is dropped
// unless the name is that one character.
std::string RemoteMainName(const std::string& remoteName);

// "dir/base.ext" with page k gives "dir/base_00k.ext"; '/' and '\' both
// separate directories.
std::string RemotePageName(const std::string& remoteName, int page);

class UploadJob {
public:
    UploadJob(UploadRequest request, UploadLogSink sink);
    UploadJob(const UploadJob&) = delete;
    UploadJob& operator=(const UploadJob&) = delete;

    UploadOutcome Run();
    void RequestStop() { m_stop.store(true); }
    bool IsBusy() const { return m_busy.load(); }
    bool StopRequested() const { return m_stop.load(); }

private:
    void Log(const char* utf8);
    void LogText(const std::string& utf8);

    UploadRequest m_request;
    UploadLogSink m_sink;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stop{false};
};

// The user-facing lines, exactly as logged.
namespace UploadTexts {
constexpr char kStart[] = "アップロードを開始します。";
constexpr char kConnecting[] = "サーバへ接続しています...";
constexpr char kSessionFailed[] = "サーバへの接続に失敗しました。";
constexpr char kConnectFailed[] = "!!エラー!! サーバへの接続に失敗しました。";
constexpr char kConnected[] = "サーバへ接続しました。";
constexpr char kChangingDir[] = "カレントディレクトリを移動します。";
constexpr char kDirFailed[] = "!!エラー!! カレントディレクトリの移動に失敗しました。";
constexpr char kDirChanged[] = "%s ディレクトリへ移動しました。";
constexpr char kUploading[] = "ファイルをアップロードしています...";
constexpr char kArrow[] = "    %s --> %s";
constexpr char kUploadFailed[] = "!!エラー!! ファイルのアップロードに失敗しました。";
constexpr char kUploaded[] = "ファイルをアップロードしました。";
constexpr char kDisconnecting[] = "サーバへの接続を切断しています...";
constexpr char kDisconnected[] = "サーバへの接続を切断しました。";
constexpr char kStopped[] = "ユーザの操作によりアップロードを停止しました。";
constexpr char kDone[] = "アップロードが正常に終了しました。";
constexpr char kError[] = "アップロードエラーです。設定を見直してやり直してください。";
} // namespace UploadTexts
