#include "stylemaker/ui/VessiloDoc.h"

#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "stylemaker/style/CssWriter.h"
#include "stylemaker/ui/CssOutputDialog.h"
#include "stylemaker/ui/VessiloView.h"

#include <QFileInfo>

namespace vessilo {

namespace {

Prompter::FileDialog StyleFileDialog() {
    return {u"zvc"_qs, u"*.zvc"_qs, u"ZovaAf CSSメーカー ファイル(*.zvc)"_qs, {}};
}

QString Untitled() {
    return u"無題"_qs;
}

} // namespace

CVessiloDoc::CVessiloDoc(std::shared_ptr<PreviewEvents> events, QObject* parent)
    : QObject(parent), m_shared(std::make_shared<GuardedSettings>()), m_events(std::move(events)), m_title(Untitled()) {
}

CVessiloDoc::~CVessiloDoc() = default;

void CVessiloDoc::SetModifiedFlag(bool modified) {
    if (m_modified == modified)
        return;
    m_modified = modified;
    Q_EMIT stateChanged();
}

void CVessiloDoc::SignalPreview() {
    if (m_events)
        m_events->SetPreview();
}

void CVessiloDoc::RefreshPages() {
    if (m_view)
        m_view->RefreshPages();
    else
        SignalPreview();
}

void CVessiloDoc::StoreAllPages() {
    if (m_view)
        m_view->StoreAllPages();
    else
        SignalPreview();
}

void CVessiloDoc::SetPathAndTitle(const QString& path) {
    m_path = path;
    m_title = path.isEmpty() ? Untitled() : QFileInfo(path).fileName();
    Q_EMIT stateChanged();
}

void CVessiloDoc::ResetToNew() {
    {
        std::lock_guard lock(SettingsMutex());
        Settings().Reset();
    }
    SetPathAndTitle({});
    SetModifiedFlag(false);
    RefreshPages();
}

void CVessiloDoc::OnFileNew() {
    if (!SaveModified())
        return;
    ResetToNew();
}

void CVessiloDoc::OnFileOpen() {
    if (!SaveModified())
        return;
    QString path = Prompter::Current().OpenFileName(m_dialogParent, StyleFileDialog());
    if (path.isEmpty())
        return;
    OpenPath(path);
}

void CVessiloDoc::OpenPath(const QString& path) {
    bool loaded;
    {
        // Loaded into a copy, so a failed read never leaves a half-filled record.
        CStyleSettings read;
        read.Reset();
        loaded = read.LoadFromFile(path.toStdString());
        if (loaded) {
            std::lock_guard lock(SettingsMutex());
            Settings().CopyFrom(read);
        }
    }
    if (!loaded) {
        Prompter::Current().Message(m_dialogParent, u"ファイルの読み込みに失敗しました。"_qs,
                                    Prompter::Icon::Exclamation);
        ResetToNew();
        return;
    }
    SetPathAndTitle(path);
    SetModifiedFlag(false);
    RefreshPages();
}

bool CVessiloDoc::OnFileSave() {
    std::string path = m_path.toStdString();
    if (m_path.isEmpty() || !(FileOps::FileExists(path) || FileOps::IsDirectory(path)))
        return OnFileSaveAs();
    StoreAllPages();
    bool saved;
    {
        std::lock_guard lock(SettingsMutex());
        saved = Settings().SaveToFile(path);
    }
    if (!saved) {
        Prompter::Current().Message(m_dialogParent, u"ファイルの保存に失敗しました。"_qs, Prompter::Icon::Exclamation);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CVessiloDoc::OnFileSaveAs() {
    QString path = Prompter::Current().SaveFileName(m_dialogParent, StyleFileDialog());
    if (path.isEmpty())
        return false;
    StoreAllPages();
    bool saved;
    {
        std::lock_guard lock(SettingsMutex());
        saved = Settings().SaveToFile(path.toStdString());
    }
    if (!saved) {
        Prompter::Current().Message(m_dialogParent, u"ファイルの保存に失敗しました。"_qs, Prompter::Icon::Exclamation);
        return false;
    }
    SetPathAndTitle(path);
    SetModifiedFlag(false);
    return true;
}

bool CVessiloDoc::SaveModified() {
    if (!m_modified)
        return true;
    switch (Prompter::Current().Message(m_dialogParent, u"内容が更新されています。\n保存しますか？"_qs,
                                        Prompter::Icon::Exclamation, Prompter::Buttons::YesNoCancel)) {
    case Prompter::Answer::Yes:
        return OnFileSave();
    case Prompter::Answer::No:
        return true;
    default:
        return false;
    }
}

void CVessiloDoc::OnCssOutput() {
    CCssOutputDialog dialog(m_dialogParent);
    dialog.SetPath(Cp932Qt::ToQt(Settings().szLastCss));
    dialog.SetTagClass(Cp932Qt::ToQt(Settings().szTagID));
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::string path = Cp932::Kept(Cp932Qt::FromQt(dialog.Path()), 259);
    std::string tag = Cp932::Kept(Cp932Qt::FromQt(dialog.TagClass()), 254);
    CStyleSettings copy;
    {
        std::lock_guard lock(SettingsMutex());
        if (path != Settings().szLastCss || tag != Settings().szTagID)
            SetModifiedFlag(true);
        Settings().szLastCss = path;
        Settings().szTagID = tag;
        copy = Settings();
    }
    std::vector<std::string> dropped;
    bool written = WriteCss(copy, Cp932Qt::ToQt(path).toStdString(), tag, &dropped);
    QString left;
    for (const std::string& declaration : dropped)
        left += u"\n"_qs + Cp932Qt::ToQt(declaration);
    if (written && !left.isEmpty())
        Prompter::Current().Message(m_dialogParent,
                                    u"データをCSSファイルへ保存しました。\n"
                                    u"次の宣言は値に使えない文字を含むため、書き出しませんでした。"_qs + left,
                                    Prompter::Icon::Exclamation);
    else if (written)
        Prompter::Current().Message(m_dialogParent, u"データをCSSファイルへ保存しました。"_qs,
                                    Prompter::Icon::Information);
    else
        Prompter::Current().Message(m_dialogParent, u"CSSファイルの保存に失敗しました。"_qs,
                                    Prompter::Icon::Exclamation);
}

} // namespace vessilo
