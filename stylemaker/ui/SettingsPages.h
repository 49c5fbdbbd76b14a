#pragma once

#include "stylemaker/ui/StylePage.h"

#include <memory>

namespace Ui {
class GeneralPage;
class AdPage;
class AdDetailPage;
class PrLinkPage;
class PreviewPage;
} // namespace Ui

namespace vessilo {

// Name and comment of the setting, and the frame table.
class CGeneralPage : public CStylePage {
    Q_OBJECT
public:
    explicit CGeneralPage(QWidget* parent = nullptr);
    ~CGeneralPage() override;
    Ui::GeneralPage* Form() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::GeneralPage> m_ui;
};

// The cells and the ad box inside each cell.
class CAdPage : public CStylePage {
    Q_OBJECT
public:
    explicit CAdPage(QWidget* parent = nullptr);
    ~CAdPage() override;
    Ui::AdPage* Form() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::AdPage> m_ui;
};

// The name, comment and tag lines of an ad.
class CAdDetailPage : public CStylePage {
    Q_OBJECT
public:
    explicit CAdDetailPage(QWidget* parent = nullptr);
    ~CAdDetailPage() override;
    Ui::AdDetailPage* Form() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::AdDetailPage> m_ui;
};

// The credit line and its link in its four states.
class CPrLinkPage : public CStylePage {
    Q_OBJECT
public:
    explicit CPrLinkPage(QWidget* parent = nullptr);
    ~CPrLinkPage() override;
    Ui::PrLinkPage* Form() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::PrLinkPage> m_ui;
};

// How the preview lays out its sample ads.
class CPreviewPage : public CStylePage {
    Q_OBJECT
public:
    explicit CPreviewPage(QWidget* parent = nullptr);
    ~CPreviewPage() override;
    Ui::PreviewPage* Form() const { return m_ui.get(); }

protected:
    void PrepareRecord(CStyleSettings& settings) override;

private:
    std::unique_ptr<Ui::PreviewPage> m_ui;
};

} // namespace vessilo
