#pragma once

#include "stylemaker/style/PreviewThread.h"

#include <QWidget>
#include <array>
#include <memory>
#include <string>

class QRadioButton;
class QStackedWidget;
class QTabBar;
class QVBoxLayout;

namespace vessilo {

class CStylePage;
class CVessiloDoc;

// The five settings pages beside a vertical tab strip, and the preview.
class CVessiloView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPageCount = 5;
    // The width of the preview in its phone view: a common phone's CSS width.
    static constexpr int kPhonePreviewWidth = 375;

    // htmlPath and cssPath: the preview's temporary files (file system paths).
    CVessiloView(CVessiloDoc* doc, std::string htmlPath, std::string cssPath, QWidget* parent = nullptr);
    // Stops the preview thread before the pages go.
    ~CVessiloView() override;

    // The first call creates the pages' content and starts the preview thread;
    // later calls only wake the preview.
    void OnInitialUpdate();
    // Every page reloaded from the record, then the preview woken.
    void RefreshPages();
    // Every page stored into the record, then the preview woken.
    void StoreAllPages();

    CStylePage* Page(int index) const { return m_pages[static_cast<std::size_t>(index)]; }
    QTabBar* Tabs() const { return m_tabs; }
    QWidget* Preview() const { return m_preview; }
    bool IsPreviewRunning() const;
    void SelectPage(int index);
    // The preview at a phone's width, or as wide as the window gives (PC).
    void SetPhoneWidth(bool phone);
    bool IsPhoneWidth() const;

Q_SIGNALS:
    // On the GUI thread, after the preview was pointed at the page.
    void previewNavigated(const QString& url);

private:
    CVessiloDoc* m_doc;
    std::string m_htmlPath;
    std::string m_cssPath;
    QTabBar* m_tabs;
    QStackedWidget* m_stack;
    QWidget* m_preview;
    QVBoxLayout* m_previewColumn;
    QRadioButton* m_pcButton;
    QRadioButton* m_phoneButton;
    std::array<CStylePage*, kPageCount> m_pages{};
    std::unique_ptr<CPreviewThread> m_thread;
    bool m_initialised = false;
};

} // namespace vessilo
