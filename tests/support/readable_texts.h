// The readable UTF-8 form of every GBK text the library uses, for tests and tools: a test decodes
// each literal and compares it with the form given here.
#pragma once

#include <cstdint>

#include "common/texts.h"

namespace quendal_test {

struct ReadableError {
  int32_t code;
  const char* utf8;
};

// In the error table's order.
inline constexpr ReadableError kReadableErrors[] = {
    {177, "LRC校验错误"},
    {178, "打开COM错误"},
    {179, "接收COM错误"},
    {180, "发送COM错误"},
    {181, "接收COM数据超时"},
    {182, "测试串口失败"},
    {186, "操作类型错误"},
    {187, "交易类型错误"},
    {188, "网络格式错误"},
    {189, "数据格式错误"},
    {190, "金额输入错误"},
    {191, "保险代公司号错误"},
    {196, "打开银行主机Socket错误"},
    {197, "向银行主机发送数据错误"},
    {198, "从银行主机接收数据错误"},
    {199, "打开保险主机Socket错误"},
    {200, "向保险主机发送数据错误"},
    {201, "从保险主机接收数据错误"},
    {202, "打开Hosts文件错误"},
    {203, "保险公司网络测试失败"},
    {206, "操作取消"},
    {19, "交易金额错误"},
};

struct ReadableText {
  const char* gbk;
  const char* utf8;
};

inline constexpr ReadableText kReadableStatusTexts[] = {
    {quendal::text::kBanner, "Mervok专用动态库" QUENDAL_VERSION_STRING},
    {quendal::text::kTransSucceeded, "交易成功\n"},
    {quendal::text::kResultFailed, "结果失败\n"},
    {quendal::text::kBankInfoLine, "银行平台信息:\n"},
    {quendal::text::kBankInfo, "银行平台信息:"},
    {quendal::text::kConnectBusinessHost, "连接业务主机..."},
    {quendal::text::kSucceeded, "成功\n"},
    {quendal::text::kOpenCom, "打开COM口..."},
    {quendal::text::kSendRequestToPos, "发送到交易请求到POS机..."},
    {quendal::text::kTimeout, "超时!\n"},
    {quendal::text::kResetTimedOut, "重置超时交易..."},
    {quendal::text::kDone, "完成\n"},
    {quendal::text::kSendQuery, "发送查询交易...\n"},
    {quendal::text::kAnswerFromPos, "从POS机得到应答\n"},
    {quendal::text::kSendToServer, "发送交易请求到服务器..."},
    {quendal::text::kAnswerFromServer, "收到服务器应答\n"},
    {quendal::text::kServerResultToPos, "将服务器处理结果发送到POS机..."},
    {quendal::text::kSettlementFromPos, "从POS机得到结算结果"},
    {quendal::text::kTransComplete, "交易完成"},
    {quendal::text::kReportToBusiness, "将交易结果发送至业务平台..."},
    {quendal::text::kReportRefused, "失败\n业务平台信息:"},
};

}  // namespace quendal_test
