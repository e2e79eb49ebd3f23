#include "platform/ProcessState.h"

namespace fotoshuttle {

std::string g_strSrcFolder;
std::string g_strDstFolder;
std::string g_strFormat;
std::string g_strResize;
std::string g_strAfter;
std::string g_strTimestamp;
int g_nWidth = 0;
int g_nHeight = 0;
int g_nDelayTime = 0;
int g_nDuration = 0;
std::atomic<int> g_bStopWatch{0};

}  // namespace fotoshuttle
