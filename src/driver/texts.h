// Every text the library shows or returns, as the GBK bytes that go on the wire, into results and
// into the window. The readable form stands beside each; a test decodes every literal and compares
// it with that form, so a wrong byte cannot slip in unnoticed.
#pragma once

#include <cstdint>

namespace quendal {

struct ErrorRow {
  int32_t code;
  const char* text;  // GBK, zero-terminated, at most 40 bytes
  uint8_t cancel_pos;
  const char* readable;  // UTF-8, for tests and tools
};

// The error table, searched from the first row to the last. The order is part of the contract:
// code 19 comes last.
inline constexpr ErrorRow kErrorTable[] = {
    {177, "LRC\xd0\xa3\xd1\xe9\xb4\xed\xce\xf3", 1, "LRC校验错误"},
    {178,
     "\xb4\xf2\xbf\xaa"
     "COM\xb4\xed\xce\xf3",
     0, "打开COM错误"},
    {179,
     "\xbd\xd3\xca\xd5"
     "COM\xb4\xed\xce\xf3",
     0, "接收COM错误"},
    {180,
     "\xb7\xa2\xcb\xcd"
     "COM\xb4\xed\xce\xf3",
     0, "发送COM错误"},
    {181,
     "\xbd\xd3\xca\xd5"
     "COM\xca\xfd\xbe\xdd\xb3\xac\xca\xb1",
     0, "接收COM数据超时"},
    {182, "\xb2\xe2\xca\xd4\xb4\xae\xbf\xda\xca\xa7\xb0\xdc", 0, "测试串口失败"},
    {186, "\xb2\xd9\xd7\xf7\xc0\xe0\xd0\xcd\xb4\xed\xce\xf3", 0, "操作类型错误"},
    {187, "\xbd\xbb\xd2\xd7\xc0\xe0\xd0\xcd\xb4\xed\xce\xf3", 0, "交易类型错误"},
    {188, "\xcd\xf8\xc2\xe7\xb8\xf1\xca\xbd\xb4\xed\xce\xf3", 0, "网络格式错误"},
    {189, "\xca\xfd\xbe\xdd\xb8\xf1\xca\xbd\xb4\xed\xce\xf3", 0, "数据格式错误"},
    {190, "\xbd\xf0\xb6\xee\xca\xe4\xc8\xeb\xb4\xed\xce\xf3", 0, "金额输入错误"},
    {191, "\xb1\xa3\xcf\xd5\xb4\xfa\xb9\xab\xcb\xbe\xba\xc5\xb4\xed\xce\xf3", 0,
     "保险代公司号错误"},
    {196, "\xb4\xf2\xbf\xaa\xd2\xf8\xd0\xd0\xd6\xf7\xbb\xfaSocket\xb4\xed\xce\xf3", 1,
     "打开银行主机Socket错误"},
    {197,
     "\xcf\xf2\xd2\xf8\xd0\xd0\xd6\xf7\xbb\xfa\xb7\xa2\xcb\xcd\xca\xfd\xbe\xdd\xb4\xed\xce\xf3", 1,
     "向银行主机发送数据错误"},
    {198,
     "\xb4\xd3\xd2\xf8\xd0\xd0\xd6\xf7\xbb\xfa\xbd\xd3\xca\xd5\xca\xfd\xbe\xdd\xb4\xed\xce\xf3", 1,
     "从银行主机接收数据错误"},
    {199, "\xb4\xf2\xbf\xaa\xb1\xa3\xcf\xd5\xd6\xf7\xbb\xfaSocket\xb4\xed\xce\xf3", 1,
     "打开保险主机Socket错误"},
    {200,
     "\xcf\xf2\xb1\xa3\xcf\xd5\xd6\xf7\xbb\xfa\xb7\xa2\xcb\xcd\xca\xfd\xbe\xdd\xb4\xed\xce\xf3", 1,
     "向保险主机发送数据错误"},
    {201,
     "\xb4\xd3\xb1\xa3\xcf\xd5\xd6\xf7\xbb\xfa\xbd\xd3\xca\xd5\xca\xfd\xbe\xdd\xb4\xed\xce\xf3", 1,
     "从保险主机接收数据错误"},
    {202, "\xb4\xf2\xbf\xaaHosts\xce\xc4\xbc\xfe\xb4\xed\xce\xf3", 1, "打开Hosts文件错误"},
    {203, "\xb1\xa3\xcf\xd5\xb9\xab\xcb\xbe\xcd\xf8\xc2\xe7\xb2\xe2\xca\xd4\xca\xa7\xb0\xdc", 0,
     "保险公司网络测试失败"},
    {206, "\xb2\xd9\xd7\xf7\xc8\xa1\xcf\xfb", 0, "操作取消"},
    {19, "\xbd\xbb\xd2\xd7\xbd\xf0\xb6\xee\xb4\xed\xce\xf3", 0, "交易金额错误"},
};
inline constexpr int kErrorTableRows = sizeof(kErrorTable) / sizeof(kErrorTable[0]);

namespace text {

struct Readable {
  const char* gbk;
  const char* utf8;
};

// "Mervok专用动态库1.0.1.1"
inline constexpr char kBanner[] =
    "Mervok\xd7\xa8\xd3\xc3\xb6\xaf\xcc\xac\xbf\xe2"
    "1.0.1.1";
// "交易成功\n"
inline constexpr char kTransSucceeded[] = "\xbd\xbb\xd2\xd7\xb3\xc9\xb9\xa6\n";
// "结果失败\n"
inline constexpr char kResultFailed[] = "\xbd\xe1\xb9\xfb\xca\xa7\xb0\xdc\n";
// "银行平台信息:\n"
inline constexpr char kBankInfoLine[] = "\xd2\xf8\xd0\xd0\xc6\xbd\xcc\xa8\xd0\xc5\xcf\xa2:\n";
// "银行平台信息:"
inline constexpr char kBankInfo[] = "\xd2\xf8\xd0\xd0\xc6\xbd\xcc\xa8\xd0\xc5\xcf\xa2:";
// "连接业务主机..."
inline constexpr char kConnectBusinessHost[] =
    "\xc1\xac\xbd\xd3\xd2\xb5\xce\xf1\xd6\xf7\xbb\xfa...";
// "成功\n"
inline constexpr char kSucceeded[] = "\xb3\xc9\xb9\xa6\n";
// "打开COM口..."
inline constexpr char kOpenCom[] =
    "\xb4\xf2\xbf\xaa"
    "COM\xbf\xda...";
// "发送到交易请求到POS机..."
inline constexpr char kSendRequestToPos[] =
    "\xb7\xa2\xcb\xcd\xb5\xbd\xbd\xbb\xd2\xd7\xc7\xeb\xc7\xf3\xb5\xbdPOS\xbb\xfa...";
// "超时!\n"
inline constexpr char kTimeout[] = "\xb3\xac\xca\xb1!\n";
// "重置超时交易..."
inline constexpr char kResetTimedOut[] = "\xd6\xd8\xd6\xc3\xb3\xac\xca\xb1\xbd\xbb\xd2\xd7...";
// "完成\n"
inline constexpr char kDone[] = "\xcd\xea\xb3\xc9\n";
// "发送查询交易...\n"
inline constexpr char kSendQuery[] = "\xb7\xa2\xcb\xcd\xb2\xe9\xd1\xaf\xbd\xbb\xd2\xd7...\n";
// "从POS机得到应答\n"
inline constexpr char kAnswerFromPos[] = "\xb4\xd3POS\xbb\xfa\xb5\xc3\xb5\xbd\xd3\xa6\xb4\xf0\n";
// "发送交易请求到服务器..."
inline constexpr char kSendToServer[] =
    "\xb7\xa2\xcb\xcd\xbd\xbb\xd2\xd7\xc7\xeb\xc7\xf3\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7...";
// "收到服务器应答\n"
inline constexpr char kAnswerFromServer[] =
    "\xca\xd5\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7\xd3\xa6\xb4\xf0\n";
// "将服务器处理结果发送到POS机..."
inline constexpr char kServerResultToPos[] =
    "\xbd\xab\xb7\xfe\xce\xf1\xc6\xf7\xb4\xa6\xc0\xed\xbd\xe1\xb9\xfb\xb7\xa2\xcb\xcd\xb5\xbdPOS"
    "\xbb\xfa...";
// "从POS机得到结算结果"
inline constexpr char kSettlementFromPos[] =
    "\xb4\xd3POS\xbb\xfa\xb5\xc3\xb5\xbd\xbd\xe1\xcb\xe3\xbd\xe1\xb9\xfb";
// "交易完成"
inline constexpr char kTransComplete[] = "\xbd\xbb\xd2\xd7\xcd\xea\xb3\xc9";
// "将交易结果发送至业务平台..."
inline constexpr char kReportToBusiness[] =
    "\xbd\xab\xbd\xbb\xd2\xd7\xbd\xe1\xb9\xfb\xb7\xa2\xcb\xcd\xd6\xc1\xd2\xb5\xce\xf1\xc6\xbd\xcc"
    "\xa8...";
// "失败\n业务平台信息:"
inline constexpr char kReportRefused[] =
    "\xca\xa7\xb0\xdc\n\xd2\xb5\xce\xf1\xc6\xbd\xcc\xa8\xd0\xc5\xcf\xa2:";
inline constexpr char kEllipsis[] = ".....";

// Every status text above with its readable form, for the test that decodes them.
inline constexpr Readable kAllStatusTexts[] = {
    {kBanner, "Mervok专用动态库1.0.1.1"},
    {kTransSucceeded, "交易成功\n"},
    {kResultFailed, "结果失败\n"},
    {kBankInfoLine, "银行平台信息:\n"},
    {kBankInfo, "银行平台信息:"},
    {kConnectBusinessHost, "连接业务主机..."},
    {kSucceeded, "成功\n"},
    {kOpenCom, "打开COM口..."},
    {kSendRequestToPos, "发送到交易请求到POS机..."},
    {kTimeout, "超时!\n"},
    {kResetTimedOut, "重置超时交易..."},
    {kDone, "完成\n"},
    {kSendQuery, "发送查询交易...\n"},
    {kAnswerFromPos, "从POS机得到应答\n"},
    {kSendToServer, "发送交易请求到服务器..."},
    {kAnswerFromServer, "收到服务器应答\n"},
    {kServerResultToPos, "将服务器处理结果发送到POS机..."},
    {kSettlementFromPos, "从POS机得到结算结果"},
    {kTransComplete, "交易完成"},
    {kReportToBusiness, "将交易结果发送至业务平台..."},
    {kReportRefused, "失败\n业务平台信息:"},
};

}  // namespace text
}  // namespace quendal
