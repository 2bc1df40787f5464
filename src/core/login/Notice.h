#pragma once

#include <QString>

namespace quorvane {

// The maker's development blog, named on the last line of the notice.
inline constexpr char16_t kBlogAddress[] = u"http://blog.ostrevan-design.example/";

// The notice the login window shows before CONNECT can be pressed: what the program does, that it
// works only at the SQL level, the disclaimer, and where to read more. Lines end in CR LF.
QString NoticeText();

// The caption of the CONNECT button while the countdown runs: "(10 sec.)", "(9 sec.)", ...
QString CountdownCaption(qint32 lngSecondsLeft);

} // namespace quorvane
