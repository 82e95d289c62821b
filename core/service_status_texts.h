// Status texts that the service client sets for the main dialog, in GBK.
#pragma once

namespace service_status
{

// Auth replies.
inline constexpr char kAuthWrong[] =
    "\xd5\xcb\xba\xc5\xbb\xf2\xc3\xdc\xc2\xeb\xb4\xed\xce\xf3"; // 账号或密码错误
inline constexpr char kAuthInUse[] =
    "\xb8\xc3\xd3\xc3\xbb\xa7\xd2\xd1\xbe\xad\xb5\xc7\xc2\xbc"; // 该用户已经登录
// Auth and Helo replies.
inline constexpr char kServerError[] = "\xb7\xfe\xce\xf1\xc6\xf7\xb4\xed\xce\xf3"; // 服务器错误
inline constexpr char kNetworkBusy[] = "\xcd\xf8\xc2\xe7\xb7\xb1\xc3\xa6";         // 网络繁忙
// Helo replies.
inline constexpr char kHeloError[] = "\xb7\xa2\xc9\xfa\xb4\xed\xce\xf3"; // 发生错误
// Live replies.
inline constexpr char kLiveNormal[] = "\xd5\xfd\xb3\xa3";                      // 正常
inline constexpr char kLiveNotLoggedIn[] = "\xc9\xd0\xce\xb4\xb5\xc7\xc2\xbc"; // 尚未登录
// Info notices.
inline constexpr char kKicked[] = // 有人已使用您的账号登录
    "\xd3\xd0\xc8\xcb\xd2\xd1\xca\xb9\xd3\xc3\xc4\xfa\xb5\xc4\xd5\xcb\xba\xc5\xb5\xc7\xc2\xbc";
inline constexpr char kRelogin[] = "\xc7\xeb\xd6\xd8\xd0\xc2\xb5\xc7\xc2\xbc"; // 请重新登录

} // namespace service_status
