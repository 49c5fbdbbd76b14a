#pragma once

#include "admanager/settings/AppSettings.h"

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class SettingsDlg;
}

// "Zelvor管理 - 設定": the start-up options, copied into the settings on OK only,
// and the association buttons, which act at once and stay done on Cancel.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CSettingsDlg(AppSettings& settings, std::string moduleDir, QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    void accept() override;

private:
    void OnAssociate();
    void OnUnassociate();

    std::unique_ptr<Ui::SettingsDlg> m_ui;
    AppSettings& m_settings;
    std::string m_moduleDir;
};
