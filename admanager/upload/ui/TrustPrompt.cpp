#include "admanager/upload/ui/TrustPrompt.h"

#include "admanager/upload/KnownHosts.h"
#include "common/AppPaths.h"
#include "common/Cp932.h"
#include "common/Digest.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"

std::string KnownHostsPath() { return AppPaths::StateDir() + KnownHosts::kFileName; }

bool AskToTrust(QWidget* parent, FtpHostEntry& host, const PeerIdentity& id, const std::string& knownHostsPath) {
    if (!id.NeedsDecision())
        return false;
    const bool changed = id.trust == PeerIdentity::Trust::Changed;
    const QString server = Cp932Qt::ToQt(host.host) + u":"_qs + QString::number(host.port);
    QString text;
    if (id.kind == PeerIdentity::Kind::Certificate) {
        text = changed ? u"サーバ証明書が、以前に信頼した証明書と異なります。\n"
                         u"サーバが証明書を更新したのでなければ、接続先が偽装されている恐れがあります。\n\n"_qs
                       : u"サーバ証明書を確認できませんでした（自己署名の証明書か、別の名前に発行された証明書です）。\n\n"_qs;
        text += u"接続先: "_qs + server + u"\n発行先: "_qs + QString::fromStdString(id.subject) +
                u"\n発行者: "_qs + QString::fromStdString(id.issuer) + u"\n有効期間: "_qs +
                QString::fromStdString(id.notBefore) + u" ～ "_qs + QString::fromStdString(id.notAfter) +
                u"\nSHA-256: "_qs + QString::fromStdString(Digest::ColonHex(id.sha256));
        text += u"\n\nサーバの管理画面などで同じフィンガープリントを確かめてから信頼してください。\n"
                u"このホストでこの証明書を信頼しますか？"_qs;
    } else {
        text = changed ? u"ホスト鍵が以前と異なります。\n"
                         u"サーバが鍵を作り直したのでなければ、接続先が偽装されている恐れがあります。\n\n"_qs
                       : u"初めて接続するサーバです。ホスト鍵を確認してください。\n\n"_qs;
        text += u"接続先: "_qs + server + u"\n鍵の種類: "_qs + QString::fromStdString(id.keyType) +
                u"\nフィンガープリント: "_qs + QString::fromStdString(id.sshFingerprint);
        text += u"\n\nサーバの管理画面などで同じフィンガープリントを確かめてから信頼してください。\n"
                u"このホスト鍵を信頼しますか？"_qs;
    }
    if (Prompter::Current().Message(parent, text, changed ? Prompter::Icon::Exclamation : Prompter::Icon::Question,
                                    Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    if (!TrustPeer(host, id, knownHostsPath))
        Prompter::Current().Message(parent, u"既知のホストの記録を保存できませんでした。"_qs, Prompter::Icon::Exclamation);
    return true;
}

bool AskPassphrase(QWidget* parent, const FtpHostEntry& host, std::string& passphrase) {
    passphrase.clear();
    if (host.protocol != FtpProtocol::Sftp || host.keyFile.empty() ||
        !KeyFileNeedsPassphrase(Cp932::ToUtf8(host.keyFile)))
        return true;
    auto answer = Prompter::Current().Secret(
        parent, u"秘密鍵のパスフレーズを入力してください。\n"_qs + Cp932Qt::ToQt(host.keyFile));
    if (!answer)
        return false;
    passphrase = answer->toStdString();
    return true;
}
