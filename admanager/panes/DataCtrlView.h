#pragma once

#include <QScrollArea>
#include <functional>
#include <memory>
#include <string>

class CAfManagerDoc;
class CWebBrowser2;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
struct Banner;

namespace Ui {
class DataCtrlView;
}

// The banner editor pane: the fields of the current banner, stored at every
// keystroke, and the browser with the live tag preview below them. The pane
// scrolls when it is smaller than its form.
class CDataCtrlView : public QScrollArea {
    Q_OBJECT
public:
    CDataCtrlView(CAfManagerDoc& doc, QWidget* parent = nullptr);
    ~CDataCtrlView() override;

    // 99: refill from the current banner; 0: refill the ASP list.
    void Refresh(int what);
    // The ASP list changed: the names again, keeping the shown entry.
    void RefillAspList();

    // The preview of the current banner's tag, or the top or blank page.
    void UpdateTagPreview();
    // The version page once per run (when check_version allows), else the top page.
    void ShowTopPage();

    QComboBox* AspCombo() const;
    QLineEdit* AdvertiserEdit() const;
    QLineEdit* NameEdit() const;
    QLineEdit* CpmEdit() const;
    QLineEdit* CpcEdit() const;
    QLineEdit* FixedRateEdit() const;
    QLineEdit* FixedFeeEdit() const;
    QPlainTextEdit* CommentEdit() const;
    QPlainTextEdit* TagEdit() const;
    QCheckBox* TagCheck() const;
    CWebBrowser2* Browser() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillAspList();
    // Selects the first entry that begins with text, ignoring case; false when none does.
    bool SelectAspPrefix(const QString& text);
    // Shows a banner's ASP: the list's entry, or the name itself marked as not registered.
    void ShowAsp(const std::string& asp);
    void SetFieldsEnabled(bool enabled);
    void Navigate(const char* page);
    // Stores a change into the current banner, then updates the row and the modified flag.
    // field is a BannerEditStep::Field: typing into one field is one step of the history.
    void Store(int field, const std::function<void(Banner&)>& apply);
    void OnAspActivated(int index);

    CAfManagerDoc& m_doc;
    std::unique_ptr<Ui::DataCtrlView> m_ui;
    QWidget* m_form;
    bool m_ready = false;
};
