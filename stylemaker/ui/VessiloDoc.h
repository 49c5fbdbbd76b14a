#pragma once

#include "stylemaker/style/PreviewThread.h"

#include <QObject>
#include <QString>
#include <memory>
#include <mutex>

class QWidget;

namespace vessilo {

class CVessiloView;

// Vessilo's document: one style record, its file and the file commands.
class CVessiloDoc : public QObject {
    Q_OBJECT
public:
    explicit CVessiloDoc(std::shared_ptr<PreviewEvents> events, QObject* parent = nullptr);
    ~CVessiloDoc() override;

    // Written only on the GUI thread, always under SettingsMutex; the preview
    // thread reads it under the same lock.
    CStyleSettings& Settings() { return m_shared->settings; }
    std::mutex& SettingsMutex() { return m_shared->mutex; }
    std::shared_ptr<GuardedSettings> Shared() const { return m_shared; }
    const std::shared_ptr<PreviewEvents>& Events() const { return m_events; }

    void SetView(CVessiloView* view) { m_view = view; }
    void SetDialogParent(QWidget* parent) { m_dialogParent = parent; }
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified);
    QString Title() const { return m_title; }
    QString PathName() const { return m_path; }
    // Wakes the preview thread.
    void SignalPreview();

    void OnFileNew();
    void OnFileOpen();
    // Opens path as File→Open does once a file is chosen, with its failure message.
    void OpenPath(const QString& path);
    bool OnFileSave();
    bool OnFileSaveAs();
    // Asks about unsaved changes; false when the user cancelled or saving failed.
    bool SaveModified();
    void OnCssOutput();

Q_SIGNALS:
    // Title or modified flag changed.
    void stateChanged();

private:
    void ResetToNew();
    void SetPathAndTitle(const QString& path);
    void RefreshPages();
    void StoreAllPages();

    std::shared_ptr<GuardedSettings> m_shared;
    std::shared_ptr<PreviewEvents> m_events;
    CVessiloView* m_view = nullptr;
    QWidget* m_dialogParent = nullptr;
    QString m_path;
    QString m_title;
    bool m_modified = false;
};

} // namespace vessilo
