#pragma once

// Resource numbers and the texts they stand for.
namespace fotoshuttle {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_MENU_DIALOG = 104;
inline constexpr int IDR_TRAY_MENU = 134;
inline constexpr int IDR_MAINFRAME = 137;

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_HIDDEN_TITLE = 102;
inline constexpr int IDS_APP_TITLE = 103;

inline constexpr const char* kAboutBoxText = "バージョン情報 Fotoshuttle(&A)...";
inline constexpr const char* kHiddenTitle = "FOTOSHUTTLE_HIDE_DIALOG";
inline constexpr const char* kAppTitle = "Fotoshuttle";

// The text of a string resource; empty for a number that has none.
const char* LoadStringResource(int id);

// Qt resource paths of the application icon in its sizes.
inline constexpr const char* kAppIconPaths[] = {
    ":/icons/fotoshuttle-32.png",
    ":/icons/fotoshuttle-64.png",
    ":/icons/fotoshuttle-256.png",
};

// Makes the compiled-in resources available; call once before the first icon is loaded.
void InitResources();

}  // namespace fotoshuttle
