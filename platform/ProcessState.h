#pragma once

#include <atomic>
#include <string>

// The process-wide state every layer shares. Strings start empty and numbers at 0; the
// settings loader fills the folders and times once, the dialog writes the conversion options.
namespace fotoshuttle {

extern std::string g_strSrcFolder;
extern std::string g_strDstFolder;
extern std::string g_strFormat;     // ".bmp" ".png" ".gif" ".tif" ".jpg" ".emf" or "noselection"
extern std::string g_strResize;     // "change", "nochange" or "noselection"
extern std::string g_strAfter;      // "del", "nodel" or "noselection"
extern std::string g_strTimestamp;  // "heritage", "noheritage" or "noselection"
extern int g_nWidth;
extern int g_nHeight;
extern int g_nDelayTime;  // ms before each watched batch
extern int g_nDuration;   // ms the watcher waits before it looks at the stop request again

// 1 = watching is stopped or asked to stop, 0 = watching. The only value both threads write.
extern std::atomic<int> g_bStopWatch;

}  // namespace fotoshuttle
