#pragma once
// What tovira-cli itself says about a command line it cannot run, in the
// style of the program's messages (core/common/messages.h).

namespace tovira {

inline const char* const kMsgUnknownCommand = "未知命令：%1";
inline const char* const kMsgUnknownOption = "未知选项：%1";
inline const char* const kMsgRepeatedOption = "选项只能给一次：%1";
inline const char* const kMsgUnknownMode = "未知的模式：%1（应为 theory 或 fact）";
inline const char* const kMsgUnknownMetric = "未知的指标：%1（应为 xirr、profit 或 return）";
inline const char* const kMsgBadThreads = "线程数应为 1 到 1024 的整数：%1";
// After kMsgSweepUnknownParameter and the name: the names the search takes.
inline const char* const kMsgSweepParameters = "（可用的参数：%1）";
inline const char* const kMsgPlanNotFound = "找不到方案文件：%1";
inline const char* const kMsgCannotWrite = "无法写入文件：%1";

}  // namespace tovira
