#pragma once

// Command identifiers of the ad manager: menus, toolbar, context menus and the
// enabling rules all key on these.
namespace Cmd {
constexpr int FileNew = 57600;
constexpr int FileOpen = 57601;
constexpr int FileSave = 57603;
constexpr int FileSaveAs = 32780;
constexpr int AppExit = 57665;

constexpr int NewFolder = 32772;
constexpr int NewItem = 32773;
constexpr int CopyItem = 32774;
constexpr int PasteItem = 32781;
constexpr int DeleteNode = 32778;
constexpr int AddBanner = 32775;
constexpr int CopyBanner = 32776;
constexpr int PasteBanner = 32782;
constexpr int DeleteBanner = 32777;

constexpr int EditCopy = 57634;
constexpr int EditCut = 57635;
constexpr int EditPaste = 57637;
constexpr int EditUndo = 57643;
constexpr int EditRedo = 57644;
// The document's history (the menu entries; the keys go through EditUndo / EditRedo).
constexpr int Undo = 32794;
constexpr int Redo = 32795;
constexpr int SelectAll = 32779;

constexpr int ViewToolbar = 59392;
constexpr int ViewStatusBar = 59393;

constexpr int LinkHome = 32783;
constexpr int LinkAspGuide = 32785;
constexpr int LinkFirst = 35000;
constexpr int LinkLast = 45000;

constexpr int LoginTool = 32788;
constexpr int CssMaker = 32791;
constexpr int TagCheck = 32792;
constexpr int AppSettings = 32789;
constexpr int AspSettings = 32784;
constexpr int FtpSettings = 32790;
constexpr int PublishAll = 32793;
constexpr int LinkCheck = 32796;

constexpr int Help = 57670;
constexpr int About = 57664;
} // namespace Cmd
