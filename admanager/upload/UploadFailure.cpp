#include "admanager/upload/UploadFailure.h"

const char* UploadCauseText(UploadCause cause) {
    switch (cause) {
    case UploadCause::None:
        return "";
    case UploadCause::HostNotFound:
        return "ホスト名が見つかりません。ホスト名を確認してください。";
    case UploadCause::ConnectionRefused:
        return "サーバに接続できません（接続を拒否されました）。ホスト名とポート番号を確認してください。";
    case UploadCause::Timeout:
        return "サーバから応答がありません（タイムアウト）。";
    case UploadCause::LoginRefused:
        return "ログインを拒否されました。ユーザ名とパスワード（または秘密鍵）を確認してください。";
    case UploadCause::KeyPassphrase:
        return "秘密鍵のパスフレーズが違います。";
    case UploadCause::KeyFileUnreadable:
        return "秘密鍵ファイルを読み込めません。ファイルと形式を確認してください。";
    case UploadCause::TlsFailed:
        return "TLSで暗号化した通信を始められません。サーバがFTP over TLSに対応しているか確認してください。";
    case UploadCause::CertificateUntrusted:
        return "サーバ証明書を信頼できません。";
    case UploadCause::HostKeyUntrusted:
        return "ホスト鍵を信頼できません。";
    case UploadCause::FolderMissing:
        return "フォルダがありません。";
    case UploadCause::FolderNotEntered:
        return "フォルダに移動できません（フォルダがないか、権限がありません）。";
    case UploadCause::PermissionDenied:
        return "書き込む権限がありません。";
    case UploadCause::WriteRefused:
        return "サーバがファイルの書き込みを拒否しました（権限、容量、ファイル名を確認してください）。";
    case UploadCause::RenameFailed:
        return "送信したファイルで元のファイルを置き換えられません。元のファイルはそのままです。";
    case UploadCause::DataConnection:
        return "データ接続を確立できません。パッシブモードの設定を確認してください。";
    case UploadCause::ConnectionLost:
        return "サーバとの接続が切れました。";
    case UploadCause::LocalFile:
        return "ローカルファイルを読み込めません。";
    case UploadCause::UnsafeName:
        return "FTPのファイル名に使えない文字か「..」が含まれています。";
    case UploadCause::Stopped:
        return "停止しました。";
    case UploadCause::Other:
        return "サーバとの通信に失敗しました。";
    }
    return "";
}

std::string UploadFailure::Text() const {
    std::string text = UploadCauseText(cause);
    if (!serverReply.empty())
        text += "（サーバの応答: " + serverReply + "）";
    return text;
}
