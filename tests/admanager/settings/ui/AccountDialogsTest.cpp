#include "admanager/CommandIds.h"
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "admanager/settings/Association.h"
#include "admanager/settings/ui/AspDlg.h"
#include "admanager/settings/ui/FtpHostDlg.h"
#include "admanager/upload/UploadJob.h"
#include "admanager/settings/ui/SettingsDlg.h"
#include "admanager/shell/AfManagerApp.h"
#include "admanager/shell/MainFrame.h"
#include "common/FileOps.h"
#include "common/IniProfile.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"
#include "tests/common/ui/ScriptedPrompter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using testutil::ScriptedPrompter;
using Icon = Prompter::Icon;

namespace {

template <typename T> T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

QPushButton* Button(QWidget* w, const char* name) {
    return Child<QPushButton>(w, name);
}
QLineEdit* Edit(QWidget* w, const char* name) {
    return Child<QLineEdit>(w, name);
}
QTableWidget* Table(QWidget* w) {
    return w->findChild<QTableWidget*>();
}

// Types into an edit the way a user does: replaces what is there.
void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // Key clicks take Latin-1 only; other characters arrive one at a time as
    // from an input method.
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(edit, c.toLatin1());
        else
            edit->insert(QString(c));
    }
}

QStringList Column(QTableWidget* table, int column) {
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row)
        out << table->item(row, column)->text();
    return out;
}

int SelectedRow(QTableWidget* table) {
    QList<QTableWidgetItem*> items = table->selectedItems();
    return items.isEmpty() ? -1 : items.constFirst()->row();
}

FtpHostList Hosts(std::initializer_list<const char*> names) {
    FtpHostList list;
    for (const char* n : names) {
        FtpHostEntry e = FtpHostEntry::New();
        e.name = n;
        e.host = std::string(n) + ".example";
        list.entries.push_back(e);
    }
    return list;
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    FileOps::ReadWholeFile(path, bytes);
    return bytes;
}

// Runs f on the modal dialog that the next action opens.
void OnModal(QObject* context, std::function<void(QWidget*)> f, bool* ran) {
    QTimer::singleShot(0, context, [f = std::move(f), ran] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        f(modal);
        *ran = true;
    });
}

} // namespace

class AccountDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_module;
    QTemporaryDir m_xdg;
    std::unique_ptr<ScriptedPrompter> m_prompter;

    std::string Module() const { return m_module.path().toStdString() + "/"; }
    std::string Ini() const { return SettingsFile::PathIn(Module()); }

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", m_xdg.filePath(u"data"_qs).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_xdg.path().toUtf8());
    }

    void init() {
        m_prompter = std::make_unique<ScriptedPrompter>();
        FileOps::RemoveFileRetry(Ini());
    }

    void cleanup() { m_prompter.reset(); }

    void ftpEmptyListTypingChangesNothing() {
        FtpHostList list;
        CFtpHostDlg dialog(list);
        dialog.show();
        QCOMPARE(Table(&dialog)->rowCount(), 0);
        QCOMPARE(Table(&dialog)->columnWidth(0), 150);
        // Nothing to type into until there is an entry: nothing typed is lost.
        for (const char* name : {"nameLineEdit", "hostLineEdit", "portLineEdit", "directoryLineEdit"}) {
            QVERIFY(Edit(&dialog, name)->text().isEmpty());
            QVERIFY2(!Edit(&dialog, name)->isEnabled(), name);
        }
        Type(Edit(&dialog, "nameLineEdit"), u"typed"_qs);
        QVERIFY(dialog.WorkingCopy().entries.empty());
        Button(&dialog, "newPushButton")->click();
        QVERIFY(Edit(&dialog, "nameLineEdit")->isEnabled());
        QCOMPARE(Edit(&dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);
    }

    void ftpNewDeleteAndMove() {
        FtpHostList list;
        CFtpHostDlg dialog(list);
        dialog.show();
        QTableWidget* table = Table(&dialog);
        for (const char* name : {"a", "b", "c", "d", "e"}) {
            Button(&dialog, "newPushButton")->click();
            QCOMPARE(SelectedRow(table), table->rowCount() - 1);
            QCOMPARE(Edit(&dialog, "nameLineEdit")->text(), u"新しいホスト設定"_qs);
            QCOMPARE(Edit(&dialog, "portLineEdit")->text(), u"21"_qs);
            Type(Edit(&dialog, "nameLineEdit"), QString::fromLatin1(name));
            Type(Edit(&dialog, "hostLineEdit"), QString::fromLatin1(name) + u".example"_qs);
        }
        QCOMPARE(Column(table, 0), (QStringList{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs}));
        QCOMPARE(Column(table, 1).value(2), u"c.example"_qs);

        // Deleting the second selects the last row and shows it.
        table->selectRow(1);
        QCOMPARE(Edit(&dialog, "nameLineEdit")->text(), u"b"_qs);
        Button(&dialog, "deletePushButton")->click();
        QCOMPARE(Column(table, 0), (QStringList{u"a"_qs, u"c"_qs, u"d"_qs, u"e"_qs}));
        QCOMPARE(SelectedRow(table), 3);
        QCOMPARE(Edit(&dialog, "nameLineEdit")->text(), u"e"_qs);

        // Up at the top and down at the bottom change nothing.
        table->selectRow(0);
        Button(&dialog, "upPushButton")->click();
        table->selectRow(3);
        Button(&dialog, "downPushButton")->click();
        QCOMPARE(Column(table, 0), (QStringList{u"a"_qs, u"c"_qs, u"d"_qs, u"e"_qs}));
        QCOMPARE(SelectedRow(table), 3);
        // A move takes the selection along; typing then edits the moved entry.
        table->selectRow(0);
        Button(&dialog, "downPushButton")->click();
        Button(&dialog, "downPushButton")->click();
        QCOMPARE(Column(table, 0), (QStringList{u"c"_qs, u"d"_qs, u"a"_qs, u"e"_qs}));
        QCOMPARE(SelectedRow(table), 2);
        Type(Edit(&dialog, "nameLineEdit"), u"A"_qs);
        QCOMPARE(dialog.WorkingCopy().entries[2].name, std::string("A"));
        QCOMPARE(dialog.WorkingCopy().entries[2].host, std::string("a.example"));
        QVERIFY(list.entries.empty()); // only OK hands the copy over
    }

    void ftpPortEdit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("port");
        // What the edit shows is what is kept: digits, 1 to 65535; empty means the protocol's port.
        QTest::newRow("letters") << u"abc"_qs << QString() << 0;
        QTest::newRow("digits then letters") << u"2121x"_qs << u"2121"_qs << 2121;
        QTest::newRow("digits") << u"990"_qs << u"990"_qs << 990;
        QTest::newRow("too large") << u"70000"_qs << u"7000"_qs << 7000;
        QTest::newRow("highest") << u"65535"_qs << u"65535"_qs << 65535;
        QTest::newRow("zero") << u"0"_qs << QString() << 0;
        QTest::newRow("sign") << u"-21"_qs << u"21"_qs << 21;
        QTest::newRow("empty") << QString() << QString() << 0;
    }

    void ftpPortEdit() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, port);
        FtpHostList list = Hosts({"a"});
        CFtpHostDlg dialog(list);
        Table(&dialog)->selectRow(0);
        Type(Edit(&dialog, "portLineEdit"), typed);
        QCOMPARE(Edit(&dialog, "portLineEdit")->text(), shown);
        QCOMPARE(dialog.WorkingCopy().entries[0].port, port);
    }

    void ftpTransportHints() {
        FtpHostList list = Hosts({"a"});
        list.entries[0].protocol = FtpProtocol::Sftp;
        list.entries[0].hostKeySha256 = std::string(64, '0');
        CFtpHostDlg dialog(list);
        dialog.show();
        Table(&dialog)->selectRow(0);
        // A host key reads as the trust question and OpenSSH show it.
        QCOMPARE(Edit(&dialog, "pinLineEdit")->text(), u"SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"_qs);
        auto* protocol = dialog.findChild<QComboBox*>(u"protocolComboBox"_qs);
        auto* passive = dialog.findChild<QCheckBox*>(u"passiveCheckBox"_qs);
        auto* hint = dialog.findChild<QLabel*>(u"passiveHintLabel"_qs);
        QVERIFY(protocol && passive && hint);
        protocol->setCurrentIndex(static_cast<int>(FtpProtocol::Ftps));
        passive->setChecked(false);
        QCOMPARE(hint->isVisible(), !ActiveFtpsSupported());
        passive->setChecked(true);
        QVERIFY(!hint->isVisible());
    }

    void editsHoldOnlyWhatASaveKeeps() {
        FtpHostList hosts = Hosts({"a"});
        CFtpHostDlg ftp(hosts);
        Table(&ftp)->selectRow(0);
        QLineEdit* password = Edit(&ftp, "passwordLineEdit");
        Type(password, QString(300, QLatin1Char('p')));
        QCOMPARE(password->text().size(), 255);
        QCOMPARE(ftp.WorkingCopy().entries[0].password, std::string(255, 'p'));
        // Double-byte characters count two bytes each.
        Type(password, QString(200, QChar(0x6F22)));
        QCOMPARE(password->text().size(), 127);

        AspList asp;
        CAspDlg dialog(asp, {});
        Button(&dialog, "newPushButton")->click();
        Type(Edit(&dialog, "passwordLineEdit"), QString(300, QLatin1Char('q')));
        QCOMPARE(dialog.WorkingCopy().entries[0].password, std::string(255, 'q'));
        Type(Edit(&dialog, "nameLineEdit"), QString(300, QLatin1Char('n')));
        QCOMPARE(dialog.WorkingCopy().entries[0].name.size(), std::size_t(254));
        // A character CP932 lacks would be stored as "?": it is refused, a typed "?" is not.
        Type(Edit(&dialog, "userIdLineEdit"), u"a\u00E9\u6F22?"_qs);
        QCOMPARE(Edit(&dialog, "userIdLineEdit")->text(), u"a\u6F22?"_qs);
        QCOMPARE(dialog.WorkingCopy().entries[0].userId, Cp932Qt::FromQt(u"a\u6F22?"_qs));
        QCOMPARE(Edit(&dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);
    }

    void ftpCancelChangesNothing() {
        FtpHostList list = Hosts({"a", "b"});
        QVERIFY(SaveFtpHostList(list, Module()));
        const std::string before = ReadFile(Ini());
        const FtpHostList kept = list;
        bool ran = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                Table(dialog)->selectRow(0);
                Type(Edit(dialog, "nameLineEdit"), u"changed"_qs);
                Button(dialog, "newPushButton")->click();
                Button(dialog, "cancelPushButton")->click();
            },
            &ran);
        QVERIFY(!EditFtpHostList(list, Module(), nullptr));
        QVERIFY(ran);
        QVERIFY(list == kept);
        QCOMPARE(ReadFile(Ini()), before);
        QVERIFY(m_prompter->shown.empty());
    }

    void ftpDeletingEverythingSavesAnEmptySection() {
        FtpHostList list = Hosts({"a", "b", "c"});
        QVERIFY(SaveFtpHostList(list, Module()));
        bool ran = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                QCOMPARE(dialog->windowTitle(), u"Zelvor管理 - FTP設定"_qs);
                Table(dialog)->selectRow(0);
                for (int i = 0; i < 3; ++i)
                    Button(dialog, "deletePushButton")->click();
                QCOMPARE(Table(dialog)->rowCount(), 0);
                Button(dialog, "okPushButton")->click();
            },
            &ran);
        QVERIFY(EditFtpHostList(list, Module(), nullptr));
        QVERIFY(ran);
        QVERIFY(list.entries.empty());
        QCOMPARE(ReadFile(Ini()), std::string("[ZOVA_AF_FTPSETTING]\r\nftphost_num=0\r\n"));
        CFtpHostDlg again(list);
        QCOMPARE(Table(&again)->rowCount(), 0);
    }

    void saveFailuresAreReported() {
        // A folder where the settings file should be cannot be written.
        QVERIFY(FileOps::MakeDirRetry(Ini()));
        FtpHostList hosts;
        bool ran = false;
        OnModal(
            this, [](QWidget* dialog) { Button(dialog, "okPushButton")->click(); }, &ran);
        QVERIFY(EditFtpHostList(hosts, Module(), nullptr));
        QVERIFY(ran);
        QCOMPARE(m_prompter->LastText(), u"FTPホストリストの保存に失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Icon::Stop);

        AspList asp;
        ran = false;
        bool refilled = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                Button(dialog, "newPushButton")->click();
                Button(dialog, "okPushButton")->click();
            },
            &ran);
        QVERIFY(EditAspList(
            asp, Module(), {}, [&refilled] { refilled = true; }, nullptr));
        QVERIFY(refilled);
        QCOMPARE(asp.Count(), 1); // the accepted entries stay in memory
        QCOMPARE(m_prompter->LastText(), u"ASPリストの保存に失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Icon::Stop);
        QVERIFY(FileOps::RemoveDirRetry(Ini()));
    }

    void aspClipboardButtons() {
        AspList list;
        list.entries.push_back(AspEntry{"A8", "https://a8.example/", "me", "s3cret"});
        CAspDlg dialog(list, {});
        dialog.show();
        QCOMPARE(dialog.windowTitle(), u"Zelvor管理 - ASP設定"_qs);
        QClipboard* clipboard = QGuiApplication::clipboard();
        Table(&dialog)->selectRow(0);
        Button(&dialog, "passwordPushButton")->click();
        QCOMPARE(clipboard->text(), u"s3cret"_qs);
        Button(&dialog, "userIdPushButton")->click();
        QCOMPARE(clipboard->text(), u"me"_qs);
        // The edit's text counts, selected row or not; empty puts empty text.
        Table(&dialog)->clearSelection();
        Edit(&dialog, "userIdLineEdit")->clear();
        Button(&dialog, "userIdPushButton")->click();
        QCOMPARE(clipboard->text(), QString());
        QCOMPARE(list.entries[0].userId, std::string("me"));
        QVERIFY(m_prompter->shown.empty());

        dialog.SetClipboardWriter([](const QString&) { return false; });
        Button(&dialog, "passwordPushButton")->click();
        QCOMPARE(m_prompter->LastText(), u"クリップボードの操作に失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Icon::Information);
    }

    void aspOpenUrl() {
        AspList list;
        list.entries.push_back(AspEntry{"A8", "", "", ""});
        QStringList opened;
        CAspDlg dialog(list, [&opened](const QString& url) { opened << url; });
        Button(&dialog, "openUrlPushButton")->click();
        QVERIFY(opened.isEmpty());
        Table(&dialog)->selectRow(0);
        Type(Edit(&dialog, "urlLineEdit"), u"https://a8.example/login"_qs);
        QCOMPARE(Table(&dialog)->item(0, 1)->text(), u"https://a8.example/login"_qs);
        Button(&dialog, "openUrlPushButton")->click();
        QCOMPARE(opened, QStringList{u"https://a8.example/login"_qs});
    }

    void aspOkSavesInTheDialogsOrder() {
        AspList list;
        for (const char* name : {"one", "two", "three"})
            list.entries.push_back(AspEntry{name, "", "", ""});
        bool ran = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                QTableWidget* table = Table(dialog);
                table->selectRow(0);
                Button(dialog, "deletePushButton")->click();
                QCOMPARE(SelectedRow(table), 1); // the last row
                Button(dialog, "upPushButton")->click();
                Type(Edit(dialog, "passwordLineEdit"), u"pw"_qs);
                Button(dialog, "okPushButton")->click();
            },
            &ran);
        bool refilledFirst = false;
        QVERIFY(EditAspList(
            list, Module(), {}, [&] { refilledFirst = !FileOps::FileExists(Ini()); }, nullptr));
        QVERIFY(ran && refilledFirst);
        AspList loaded;
        QVERIFY(LoadAspList(loaded, Module()));
        QCOMPARE(loaded.Count(), 2);
        QCOMPARE(loaded.entries[0].name, std::string("three"));
        QCOMPARE(loaded.entries[0].password, std::string("pw"));
        QCOMPARE(loaded.entries[1].name, std::string("two"));
        QVERIFY(loaded == list);
    }

    void settingsDialogCopiesOnOkOnly() {
        AppSettings settings;
        settings.checkVersion = 0;
        const AppSettings before = settings;
        {
            CSettingsDlg dialog(settings, Module());
            QCOMPARE(dialog.windowTitle(), u"Zelvor管理 - 設定"_qs);
            QVERIFY(Child<QCheckBox>(&dialog, "useLastFileCheckBox")->isChecked());
            QVERIFY(!Child<QCheckBox>(&dialog, "checkVersionCheckBox")->isChecked());
            QVERIFY(Child<QCheckBox>(&dialog, "registMessageCheckBox")->isChecked());
            Child<QCheckBox>(&dialog, "useLastFileCheckBox")->click();
            Child<QCheckBox>(&dialog, "checkVersionCheckBox")->click();
            Button(&dialog, "cancelPushButton")->click();
        }
        QVERIFY(settings == before);
        {
            CSettingsDlg dialog(settings, Module());
            Child<QCheckBox>(&dialog, "useLastFileCheckBox")->click();
            Child<QCheckBox>(&dialog, "checkVersionCheckBox")->click();
            Child<QCheckBox>(&dialog, "registMessageCheckBox")->click();
            Button(&dialog, "okPushButton")->click();
        }
        QCOMPARE(settings.useLastFile, 0);
        QCOMPARE(settings.checkVersion, 1);
        QCOMPARE(settings.registMessage, 0);
    }

    void associationButtonsActAtOnce() {
        AppSettings settings;
        {
            CSettingsDlg dialog(settings, Module());
            Button(&dialog, "associatePushButton")->click();
            QCOMPARE(m_prompter->LastText(), u"関連付けをしました。"_qs);
            QCOMPARE(m_prompter->shown.back().icon, Icon::Exclamation);
            Button(&dialog, "cancelPushButton")->click();
        }
        QVERIFY(Association::IsAssociated(Module())); // not undone by Cancel
        CSettingsDlg dialog(settings, Module());
        Button(&dialog, "unassociatePushButton")->click();
        QCOMPARE(m_prompter->LastText(), u"関連付けの解除をしました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Icon::Exclamation);
        QVERIFY(!Association::IsAssociated(Module()));
        Button(&dialog, "unassociatePushButton")->click();
        QCOMPARE(m_prompter->LastText(), u"関連付けの解除に失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Icon::Information);

        // A data folder that is a file cannot take the association.
        const QByteArray home = qgetenv("XDG_DATA_HOME");
        const QString blocked = m_xdg.filePath(u"blocked"_qs);
        QVERIFY(FileOps::WriteWholeFile(blocked.toStdString(), "x"));
        qputenv("XDG_DATA_HOME", blocked.toUtf8());
        Button(&dialog, "associatePushButton")->click();
        qputenv("XDG_DATA_HOME", home);
        QCOMPARE(m_prompter->LastText(), u"関連付けに失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Icon::Information);
    }

    // The Tools, help and link commands of the running program.
    void toolsAndLinks() {
        ModuleDir::SetOverride(Module());
        QVERIFY(FileOps::WriteWholeFile(Ini(), "[ZOVA_AF_SETTING]\r\nregist_message=0\r\nuse_last_file=0\r\n"));
        QStringList started, opened, raised;
        CAfManagerApp::Hooks hooks;
        hooks.showSplash = false;
        hooks.startProgram = [&started](const QString& path) {
            started << path;
            return false;
        };
        hooks.openUrl = [&opened](const QString& url) { opened << url; };
        hooks.raiseWindow = [&raised](const QString& title) { raised << title; };
        CAfManagerApp app(hooks);
        QVERIFY(app.InitInstance({}));
        CMainFrame* frame = app.MainFrame();
        const QString dir = QString::fromStdString(Module());

        frame->Action(Cmd::CssMaker)->trigger();
        QCOMPARE(started, QStringList{dir + u"Vessilo"_qs});
        frame->Action(Cmd::LoginTool)->trigger();
        QCOMPARE(started.value(1), dir + u"zova_al"_qs);
        QVERIFY(raised.isEmpty()); // not before the wait
        QTRY_COMPARE(raised, QStringList{u"ZelvorLogin"_qs});
        frame->Action(Cmd::Help)->trigger();
        frame->Action(Cmd::LinkHome)->trigger();
        frame->Action(Cmd::LinkAspGuide)->trigger();
        QCOMPARE(opened.value(0), dir + u"help.html"_qs);
        QVERIFY(opened.value(1).startsWith(u"https://"_qs));
        QCOMPARE(opened.value(2), dir + u"html/asp.html"_qs); // ships with the program
        QCOMPARE(opened.value(1), u"https://zelvor.jp/"_qs);   // the package's Homepage
        for (int id : {Cmd::LoginTool, Cmd::CssMaker, Cmd::AppSettings, Cmd::AspSettings, Cmd::FtpSettings})
            QVERIFY(frame->Action(id)->isEnabled());

        bool ran = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                QCOMPARE(dialog->windowTitle(), u"Zelvor管理 - 設定"_qs);
                Child<QCheckBox>(dialog, "checkVersionCheckBox")->click();
                Button(dialog, "okPushButton")->click();
            },
            &ran);
        frame->Action(Cmd::AppSettings)->trigger();
        QVERIFY(ran);
        QCOMPARE(app.Settings().checkVersion, 0);

        ran = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                QCOMPARE(dialog->windowTitle(), u"Zelvor管理 - ASP設定"_qs);
                Button(dialog, "newPushButton")->click();
                Button(dialog, "okPushButton")->click();
            },
            &ran);
        frame->Action(Cmd::AspSettings)->trigger();
        QVERIFY(ran);
        QCOMPARE(app.Asp().Count(), 1);
        IniDocument ini;
        QVERIFY(ini.Load(Ini()));
        QCOMPARE(ini.GetInt("ZOVA_AF_ASPLIST", "asp_num", 0), 1);

        ran = false;
        OnModal(
            this,
            [](QWidget* dialog) {
                QCOMPARE(dialog->windowTitle(), u"Zelvor管理 - FTP設定"_qs);
                Button(dialog, "newPushButton")->click();
                Button(dialog, "newPushButton")->click();
                Button(dialog, "okPushButton")->click();
            },
            &ran);
        frame->Action(Cmd::FtpSettings)->trigger();
        QVERIFY(ran);
        QVERIFY(ini.Load(Ini()));
        QCOMPARE(ini.GetInt("ZOVA_AF_FTPSETTING", "ftphost_num", 0), 2);
        // The settings themselves wait for shutdown.
        QCOMPARE(ini.GetInt("ZOVA_AF_SETTING", "check_version", 1), 1);

        frame->close();
        app.ExitInstance();
        ModuleDir::SetOverride("");
    }

    // Not a check: with ZOVA_SCREENSHOT_DIR set, saves the dialogs for a person
    // to look at.
    void screenshot() {
        QByteArray dir = qgetenv("ZOVA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("ZOVA_SCREENSHOT_DIR not set");
        const QString out = QString::fromLocal8Bit(dir);
        FtpHostList hosts = Hosts({"www", "backup"});
        hosts.entries[0].name = Cp932Qt::FromQt(u"メインサイト"_qs);
        hosts.entries[0].user = "zelvor";
        hosts.entries[0].password = "secret";
        hosts.entries[0].directory = "/public_html/ads";
        hosts.entries[0].protocol = FtpProtocol::Ftps; // in active mode: the hint shows
        hosts.entries[0].passive = false;
        hosts.entries[1].protocol = FtpProtocol::Sftp;
        hosts.entries[1].hostKeySha256 = std::string(64, 'a');
        CFtpHostDlg ftp(hosts);
        ftp.show();
        Table(&ftp)->selectRow(0);
        QVERIFY(QTest::qWaitForWindowExposed(&ftp));
        QVERIFY(ftp.grab().save(out + u"/ftp_host_dialog.png"_qs));
        Table(&ftp)->selectRow(1);
        QVERIFY(ftp.grab().save(out + u"/ftp_host_dialog_sftp.png"_qs));

        AspList asp;
        asp.entries.push_back(AspEntry{Cp932Qt::FromQt(u"A8ネット"_qs), "https://a8.example/", "user01", "pw"});
        asp.entries.push_back(AspEntry{Cp932Qt::FromQt(u"バリューコマース"_qs), "", "vc", ""});
        CAspDlg aspDialog(asp, {});
        aspDialog.show();
        Table(&aspDialog)->selectRow(0);
        QVERIFY(QTest::qWaitForWindowExposed(&aspDialog));
        QVERIFY(aspDialog.grab().save(out + u"/asp_dialog.png"_qs));

        AppSettings settings;
        CSettingsDlg settingsDialog(settings, Module());
        settingsDialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settingsDialog));
        QVERIFY(settingsDialog.grab().save(out + u"/settings_dialog.png"_qs));
    }
};

QTEST_MAIN(AccountDialogsTest)
#include "AccountDialogsTest.moc"
