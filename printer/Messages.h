// Every Persian text the printer link shows the operator, in one place, so the
// window and korvelctl say the same thing. UTF-8.
#pragma once

#include <string_view>

namespace korvel::printer {

inline constexpr std::string_view kMsgConnected = ".اتصال با دستگاه بر قرار شد";
inline constexpr std::string_view kMsgImageReady = "!دستگاه آماده چاپ تصویر بارگذاری شده می باشد";
inline constexpr std::string_view kMsgTextReady = ".دستگاه آماده چاپ متن می باشد";
inline constexpr std::string_view kMsgConnectError = ".خطا در برقراری ارتباط";
inline constexpr std::string_view kMsgDataReceived = ".اطلاعات دریافت شد";
inline constexpr std::string_view kMsgSaving = ".دستگاه در حال ذخیره تصویر می باشد. لطفا شکیبا باشید";
inline constexpr std::string_view kCaptionSaving = "در حال ذخیره در دستگاه";
inline constexpr std::string_view kMsgSaved = ".تصویر در دستگاه ذخیره شد";
inline constexpr std::string_view kMsgSequenceSet = ".تصاویر پشت هم تنظیم شدند";
inline constexpr std::string_view kMsgTextStored = ".متن در دستگاه ذخیره شد";
inline constexpr std::string_view kMsgImageError = "!خطا در دریافت تصویر";
inline constexpr std::string_view kMsgInkSet = ".کیفیت تنظیم شد";
inline constexpr std::string_view kMsgTimeSet = ".ساعت تنظیم شد";
inline constexpr std::string_view kMsgInitialDelaySet = ".تاخیر اولیه تنظیم شد";
inline constexpr std::string_view kMsgDateSet = ".تاریخ تنظیم شد";
inline constexpr std::string_view kMsgProductionDateSet = ".تاریخ تولید در چاپگر تنظیم شد";
inline constexpr std::string_view kMsgLeftToRight = ".چاپگر چپگرد شد";
inline constexpr std::string_view kMsgRightToLeft = ".چاپگرد راستگرد شد";
inline constexpr std::string_view kMsgExpiryDateSet = ".تاریخ انقضا در چاپگر تنظیم شد";
inline constexpr std::string_view kMsgCountSet = ".تعداد چاپ تنظیم شد";
inline constexpr std::string_view kMsgDelayAfterSet = ".تاخیر بعد از چاپ تنظیم شد";
inline constexpr std::string_view kMsgResolutionSet = ".شدت رنگ تنظیم شد";
inline constexpr std::string_view kMsgTextReceived = ".متن دریافت شد";
inline constexpr std::string_view kMsgCounterSet = ".شمارنده تنظیم شد";
inline constexpr std::string_view kMsgNoReply = ".پاسخی دریافت نشد";
inline constexpr std::string_view kCaptionUploadingImage = "در حال ارسال تصوير به چاپگر";
inline constexpr std::string_view kCounterPromptCaption = "تنظیم شمارنده";
inline constexpr std::string_view kCounterPrompt = "شمارنده از چه عددی شروع شود؟";
// Our own: a settings report that cannot be read, and a refused counter.
inline constexpr std::string_view kMsgReportInvalid = ".گزارش تنظیمات چاپگر نامعتبر بود";
inline constexpr std::string_view kMsgCounterInvalid = ".شمارنده فقط می تواند تا چهار رقم باشد";

} // namespace korvel::printer
